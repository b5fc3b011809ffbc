// Standard input and output as the protocol servers (`korvid lsp`,
// `korvid dap`) use them: bytes passed unchanged (no line-end translation
// where the system would make one), and a client that went away seen as a
// failed write instead of ending the process.
#pragma once

namespace korvid {

// Standard input and output in binary mode.
void SetStdioBinary();
// A write to a pipe or socket whose reader is gone fails instead of ending
// the process.
void IgnoreBrokenPipe();

}  // namespace korvid
