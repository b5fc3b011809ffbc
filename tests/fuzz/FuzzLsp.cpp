// Arbitrary bytes as a document of the language server (the first byte
// picks family and dialect, the next two a position): the analysis, every
// feature at that position, and the protocol text of a message.
#include <string>

#include "family/Family.h"
#include "lsp/Features.h"
#include "lsp/Server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace korvid;
    using namespace korvid::lsp;
    if (size < 3) return 0;
    static Analysis analysis;
    const Settings settings{(data[0] & 1) ? &Sx52Family() : &Sx28lFamily(),
                            (data[0] & 2) ? Dialect::Extended : Dialect::Strict};
    const Position p{data[1] % 64, data[2] % 80};
    const std::string text(reinterpret_cast<const char*>(data + 3), size - 3);
    Document doc(text);
    analysis.Run(doc, settings);
    Diagnostics(doc, analysis);
    HoverAt(doc, analysis, p);
    HoverAt(doc, analysis, p, false);
    DefinitionAt(doc, analysis, p);
    UsesAt(doc, analysis, p);
    RenameTarget(doc, analysis, p);
    std::string problem;
    RenameEdits(doc, analysis, p, "renamed", problem);
    Outline(doc, analysis);
    CompletionsAt(doc, analysis, p);
    EncodeSemanticTokens(doc, analysis);
    // The same bytes as a message body.
    Server server([](const Json&) {});
    server.HandleText(text);
    return 0;
}
