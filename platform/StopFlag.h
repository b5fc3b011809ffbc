// The flag that a stop request raises and that long steps (reading a large
// file, parsing a stimulus, running the chip) poll: written by a signal
// handler on a desktop system, by the page on a browser. Header only, so
// that the pure simulation sees it without linking the platform library.
#pragma once

#include <csignal>

namespace korvid {

using StopFlag = volatile std::sig_atomic_t;

}  // namespace korvid
