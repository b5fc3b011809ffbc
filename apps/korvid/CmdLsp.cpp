// korvid lsp: the Language Server on standard input and output, for
// editors (VS Code, Neovim, Emacs, Helix, ...).
#include <unistd.h>

#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "lsp/Server.h"
#include "platform/ProtocolStreams.h"

namespace korvid::cli {
namespace {

int RunLsp(const std::vector<std::string>& args) {
    // "--stdio" is what most clients pass; it is the only transport.
    Options options(args, {}, {"--stdio"});
    if (!options.ok()) return UsageError("lsp", options.error());
    if (!options.Operands().empty()) return UsageError("lsp", "no operands expected");
    SetStdioBinary();
    return lsp::RunLanguageServer(STDIN_FILENO, STDOUT_FILENO);
}

}  // namespace

KORVID_COMMAND("lsp", "[--stdio]", RunLsp);

}  // namespace korvid::cli
