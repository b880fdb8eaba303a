// CPU time and memory of a process and all its descendants, from /proc.
#pragma once

#include <sys/types.h>

#include <vector>

std::vector<pid_t> ProcessTree(pid_t root);  // root first
double TreeCpuMs(pid_t root);                // user + system time, milliseconds
double TreeRssMb(pid_t root);
