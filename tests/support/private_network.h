#pragma once

// Moves the calling process, and every process it starts afterwards, into a network
// namespace of its own with the loopback interface up. Abstract UNIX socket names, and so the
// host-instance mutex, are then private to this test: another test process that takes or
// drops the mutex cannot end this test's renderers. Shared memory stays shared. Needs root
// (or user namespaces); false when it could not be done.
bool EnterPrivateNetwork();
