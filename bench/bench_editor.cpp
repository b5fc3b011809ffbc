// The editor under load: typing in the middle of a 250,000-byte source,
// from the keystroke to the painted rows, and opening such a file. Runs the
// windows offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <cstdlib>
#include <memory>

#include "platform/SerialPorts.h"
#include "ui/Application.h"
#include "ui/EditorUnit.h"

namespace {

using namespace korvid;

struct Ide {
    Ide() {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_editor";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        state = std::make_unique<AssemblyState>(Sx28lFamily());
        shell = std::make_unique<Shell>(Sx28lFamily(), *state, MakeSerialDevice());
        CreateForms(*shell, {});
        shell->editor->show();
        QApplication::processEvents();
        // A source of almost 250,000 bytes in lines of assembly (LF line
        // ends, one byte each in the buffer as on disk).
        file = QDir::temp().filePath(QString("korvid_bench_%1.src").arg(QCoreApplication::applicationPid()));
        QFile f(file);
        f.open(QIODevice::WriteOnly);
        QByteArray text;
        for (int i = 0; text.size() < SourceCapacity - 40; ++i)
            text += "label" + QByteArray::number(i) + "\tmov w,#" + QByteArray::number(i & 255) + "\n";
        f.write(text);
        f.close();
    }
    ~Ide() {
        shell->editor->Text.modified = 0;
        DestroyForms(*shell);
        QFile::remove(file);
    }
    std::unique_ptr<QApplication> app;
    std::unique_ptr<AssemblyState> state;
    std::unique_ptr<Shell> shell;
    QString file;
};

Ide& TheIde() {
    static Ide ide;
    return ide;
}

void BM_OpenLargeSource(benchmark::State& st) {
    Ide& ide = TheIde();
    for (auto _ : st) {
        ide.shell->editor->LoadFile(ide.file);
        QApplication::processEvents();
    }
    st.counters["bytes"] = double(ide.shell->editor->Text.length);
}
BENCHMARK(BM_OpenLargeSource)->Unit(benchmark::kMillisecond);

void BM_KeystrokeToPaintedInLargeSource(benchmark::State& st) {
    Ide& ide = TheIde();
    TEditorForm& editor = *ide.shell->editor;
    editor.LoadFile(ide.file);
    editor.Text.caret = editor.Text.length / 2;
    editor.View->HideCaret();
    editor.View->RefreshView();
    QApplication::processEvents();
    editor.View->paintedRows = 0;
    bool insert = true;
    for (auto _ : st) {
        // Type a character, then take it back: the text keeps its size.
        if (insert)
            editor.View->FormKeyPress('x');
        else
            editor.View->FormKeyDown(Qt::Key_Backspace, TEditorView::None);
        insert = !insert;
        QApplication::processEvents();  // paints the changed rows
    }
    st.counters["rows/key"] = benchmark::Counter(double(editor.View->paintedRows) / double(st.iterations()));
}
BENCHMARK(BM_KeystrokeToPaintedInLargeSource)->Unit(benchmark::kMicrosecond);

}  // namespace
