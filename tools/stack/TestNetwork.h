#pragma once

// Moves the calling process into a network namespace of its own with only `lo` up,
// so its loopback ports, routes and tunnels are private to it and vanish with it.
// Must run before any thread starts; needs root. Aborts the test program otherwise,
// loudly: a test that needs the real network stack never skips itself.
void isolateNetwork();
