// A save file for the GTKWave viewer that opens a waveform of VcdWriter
// with every pin shown, grouped by port (RA, RB, ...) in bit order, and the
// watched registers after them in hex.
#pragma once

#include <string>
#include <vector>

#include "sim/Stimulus.h"

namespace korvid {

// `vcdPath`: the dump as the viewer should find it (best absolute);
// `scope`, `pins` and `registers` as given to VcdWriter::Open.
std::string GtkwSaveFile(const std::string& vcdPath, const std::string& scope, const StimulusPins& pins,
                         const std::vector<std::string>& registers);

}  // namespace korvid
