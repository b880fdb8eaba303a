#pragma once

// A port on 127.0.0.1 that nobody listens on: it was free a moment ago, and in a test's own
// network namespace nobody else takes it. 0 when none could be found.
int ClosedPort();
