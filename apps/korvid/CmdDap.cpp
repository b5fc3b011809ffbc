// korvid dap: the Debug Adapter on standard input and output, for editors
// (VS Code, Neovim's nvim-dap, Emacs's dape, ...).
#include <unistd.h>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "dap/Session.h"

namespace korvid::cli {
namespace {

int RunDap(const std::vector<std::string>& args) {
    Options options(args, {}, {"--stdio"});
    if (!options.ok()) return UsageError("dap", options.error());
    if (!options.Operands().empty()) return UsageError("dap", "no operands expected");
    return dap::RunDebugAdapter(STDIN_FILENO, STDOUT_FILENO);
}

}  // namespace

KORVID_COMMAND("dap", "[--stdio]", RunDap);

}  // namespace korvid::cli
