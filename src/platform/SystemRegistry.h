#pragma once

// The registry this system offers: the real one on Windows, the file stand-in elsewhere.
#if defined(_WIN32)
#include "platform/WinRegistry.h"
using SystemRegistry = WinRegistry;
#else
#include "platform/FileRegistry.h"
using SystemRegistry = FileRegistry;
#endif
