#pragma once
// The read loop both runners share: it reads whatever the child has written, without
// ever blocking on the pipe, so a grandchild that inherited the pipe and keeps it open
// cannot hold the runner after the child itself has ended.

#include <cstddef>
#include <functional>

#include "utils/ChildProcess.h"

// Size of one read; each read is decoded and parsed on its own.
inline constexpr size_t kReportReadSize = 1024;

// Calls onRead for every read until the child has ended and its output is drained.
void ReadChildOutput(Utils::ChildProcess& child, const std::function<void(const char*, size_t)>& onRead);
