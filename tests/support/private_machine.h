#pragma once

// Gives the calling process, and every process it starts afterwards, a machine of its own as
// far as the host link can tell: a network namespace with the loopback interface up, and a
// mount namespace with an empty shared-memory folder (/dev/shm). The host-instance mutex and
// every named object are then private to this test: another test process that takes or drops
// the mutex cannot end this test's renderers. Must be called while the process has one thread.
// Needs root (or user namespaces); false when it could not be done.
bool EnterPrivateMachine();
