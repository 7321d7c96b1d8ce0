// Runs a fuzz target over every file of the corpus directories (or files)
// given on the command line, in name order, the way the fuzzer would call it.
// No file at all is a failure: a corpus that went missing must not pass.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

QStringList inputFiles(const QString& path) {
    const QFileInfo info(path);
    if (!info.isDir()) {
        return info.isFile() ? QStringList{path} : QStringList();
    }
    QStringList files;
    const QDir directory(path);
    for (const QString& name : directory.entryList(QDir::Files, QDir::Name)) {
        files.append(directory.filePath(name));
    }
    return files;
}

} // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const QString& file : inputFiles(QString::fromLocal8Bit(argv[i]))) {
            QFile input(file);
            if (!input.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(file));
                return 1;
            }
            const QByteArray bytes = input.readAll();
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                   size_t(bytes.size()));
            ++replayed;
        }
    }
    std::printf("replay: %d inputs\n", replayed);
    return replayed > 0 ? 0 : 1;
}
