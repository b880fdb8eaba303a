// Names of the process messages exchanged between the browser process and the renderers.
#pragma once

namespace tavrimon::messages {

// Browser to renderer: argument 0 (bool) is true when the page is to be shown as visible.
inline constexpr char kVisibility[] = "Visibility";
// Browser to renderer: argument 0 (bool) is the source's active state; renderers ignore it.
inline constexpr char kActive[] = "Active";
// Renderer to browser page queries: argument 0 (int) is a callback identifier.
inline constexpr char kGetCurrentScene[] = "getCurrentScene";
inline constexpr char kGetStatus[] = "getStatus";
// Browser to renderer answer of a page query: 0 (int) callback identifier, 1 (string) JSON.
inline constexpr char kExecuteCallback[] = "executeCallback";

}  // namespace tavrimon::messages
