// Shared by the two halves of the platform layer, and by nothing else.
#pragma once

namespace plovanet::platform {

// From the interrupt handler: calls remove(path) for every temporary path published with
// watchTemp, and again for a path published while it ran. Async-signal-safe.
void removeWatched(void (*remove)(const char*));

}  // namespace plovanet::platform
