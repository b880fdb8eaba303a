// The renderer half of the engine inside a WebKit web process: browsers (web pages), frames,
// script contexts and process messages, handed to the application's render-process handler.
#pragma once

namespace cef_internal {

// Called once by the web-process extension entry; the application and command line are set.
void StartRendererSide(void* webExtension);

}  // namespace cef_internal
