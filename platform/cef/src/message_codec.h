// Process messages on the wire: a CefProcessMessage and its frame as a GVariant "(sxav)"
// (name, frame identifier, arguments), carried by a WebKitUserMessage named kMessageName.
#pragma once

#include <glib.h>

#include "include/cef_process_message.h"

namespace cef_internal {

inline constexpr char kProcessMessageName[] = "tavrimon.cef.message";

// A floating GVariant (the WebKitUserMessage that takes it sinks it).
GVariant* EncodeProcessMessage(CefProcessMessage& message, int64 frameId);

// Null when `params` is not of the expected shape.
CefRefPtr<CefProcessMessage> DecodeProcessMessage(GVariant* params, int64* frameId);

}  // namespace cef_internal
