#pragma once
#include <string>

namespace invexa::test {

// An SQLite VFS that passes everything to the default one ("unix") and makes chosen writes and syncs fail, so
// that the real code meets a disk that fails under it. Register once; select it for the results table with
// TResultsDatabase::SetVfsForTests(FaultVfs::Name).
class FaultVfs {
public:
    static constexpr const char *Name = "invexa-fault";

    enum class EMode {
        Once,      // the N-th write or sync fails with an I/O error, later ones succeed (a transient fault)
        FromThenOn // the N-th and every later write or sync fail as on a full disk (the disk stays bad)
    };

    // Registers the VFS (not as the default); idempotent.
    static void Register();
    // Counts writes and syncs from zero again and fails as mode says from the failAt-th on; 0 never fails.
    static void Arm(long failAt, EMode mode);
    // Writes and syncs seen since the last Arm, and how many of them were made to fail.
    static long Operations();
    static long Failures();
};

} // namespace invexa::test
