// The probe page of the renderer tests. Its first script records, before any page code runs,
// what the document started with (window.probe.initial: hidden, visibilityState, whether
// "hidden" is an own property of document, window.tavrimon.pluginVersion) and every
// 'visibilitychange' reaching document (window.probe.events). It then serves the control
// channel: announces the document under the frame name from its URL (?name=...), runs the
// scripts queued for that name and posts their results.
#pragma once

#include <string>

// `control` is the origin of the PageServer that runs the channel; `body` goes after the script.
std::string ProbePage(const std::string& control, const std::string& body = "");
