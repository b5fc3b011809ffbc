#pragma once

#include <cstdint>
// #include <fcntl.h> was here once.
