// Shared by the two halves of the platform layer, and by nothing else.
#pragma once

namespace plovanet::platform {

// First thing in the interrupt handler: true when the signal is held back (holdInterrupts), noted
// for releaseInterrupts to raise again; the handler then returns at once.
bool deferInterrupt(int sig);

// From the interrupt handler: calls remove(path) for every temporary path published with
// watchTemp, and again for a path published while it ran. Async-signal-safe.
void removeWatched(void (*remove)(const char*));

// watchTemp, false when path is not published: the handler has begun, or it is too long.
// A temporary file is published before it is made and removed by its maker when interrupted()
// is then true: the handler either finds it or its maker sees the handler at work.
bool publishTemp(int slot, const char* path);
bool interrupted();

}  // namespace plovanet::platform
