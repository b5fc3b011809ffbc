// The file rules of every program live in the platform layer; this name is
// kept for the code that includes it from here.
#pragma once

#include "platform/FileIo.h"
