// korvid lsp: the Language Server on standard input and output, for
// editors (VS Code, Neovim, Emacs, Helix, ...).
#include "apps/korvid/CliSupport.h"
#include "apps/korvid/CommandTable.h"
#include "lsp/Server.h"
#include "rpc/DescriptorTransport.h"

namespace korvid::cli {
namespace {

int RunLsp(const std::vector<std::string>& args) {
    // "--stdio" is what most clients pass; it is the only transport.
    Options options(args, {}, {"--stdio"});
    if (!options.ok()) return UsageError("lsp", options.error());
    if (!options.Operands().empty()) return UsageError("lsp", "no operands expected");
    rpc::StdioTransport stdio;
    return lsp::RunLanguageServer(stdio);
}

}  // namespace

KORVID_COMMAND("lsp", "[--stdio]", RunLsp);

}  // namespace korvid::cli
