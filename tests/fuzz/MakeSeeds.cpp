// Writes the scan-file seeds of the fuzzing corpus with the writer the tests and the demo folder use, so the
// seeds are files a scanner really writes: fuzz_seeds tests/fuzz/corpus/ScanFile
#include "data/ScanFileWriter.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace invexa;

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    std::string folder = argv[1];
    auto write = [&](const char *name, const std::string &bytes) { TScanFileWriter::WriteBytes(folder + "/" + name, bytes); };

    write("sample-1", TScanFileWriter::Encode(TScanFileWriter::SampleRecords(1, 1)));
    write("sample-3", TScanFileWriter::Encode(TScanFileWriter::SampleRecords(4, 3)));
    write("empty-record", TScanFileWriter::Encode({TResultsRec{}}));

    TResultsRec longest;
    longest.AppMaker = std::string(201, 'M');
    longest.AppName = "Over the width of its column, thirty-two";
    longest.Version = "1.2.3.4.5";
    longest.Verification = -128;
    longest.AppPath = std::string(201, '\\');
    write("longest-texts", TScanFileWriter::Encode({longest}));

    TResultsRec zero;
    zero.AppMaker = std::string("Ze\0ro", 5);
    zero.AppName = "\x80\x81\x8D\x8F\x90\x9D\xFF";
    zero.Verification = 1;
    std::string two = TScanFileWriter::Encode({zero, zero});
    write("zero-bytes", two);
    write("cut-short", two.substr(0, two.size() - 3));
    return 0;
}
