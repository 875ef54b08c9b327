// floor: the least work a merge of scan files and an export of the results table can be done with on this
// machine, so that `invexa`'s own times read as a ratio to it. It does only what the two must do (read, parse,
// insert into the same schema, index and pragmas, commit, delete; or step one SELECT and write the CSV) and
// nothing a product needs besides: no locks, no checks of the files, no error reports, no progress, no care
// for a crash in the middle.
//
//   floor rows    DIR [ROWS] : parse every scan file first (not timed), then time only the inserts
//   floor files   DIR [ROWS] : list, read, parse and insert every file in one transaction, commit, delete them
//   floor filesov DIR [ROWS] : as files, committing every FLOOR_BATCH files (500) and deleting the committed
//                              files on a second thread; what `invexa merge` is measured against
//   floor export  DIR        : write every row to DIR/datadump.csv; FLOOR_CHUNK=N writes N bytes at a time
//                              instead of the whole file at the end
//   floor readdel DIR        : read each scan file whole and delete it, no table
//
// DIR holds ivx/*.ivx and a Results.sqlite made by `invexa init`. ROWS is the rows per INSERT (64). Other knobs:
// FLOOR_SYNC=OFF|NORMAL|FULL, FLOOR_NOINDEX=1 (drops the UserName index first), FLOOR_DELETE=1 (deletes each
// user's rows before inserting them). Times go to stderr. The rows stored and the CSV written are the same as
// `invexa`'s for the files gen_scanfiles writes.
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <sqlite3.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

enum { Cols = 5, MaxText = 201, MaxPerInsert = 1000 };

// Text columns in table order: UserName, AppMaker, AppName, Version, AppPath.
static const int Width[Cols] = {16, 32, 32, 6, 255};

// Windows-1252 bytes 0x80..0x9F as Unicode; the bytes the code page leaves out map to the C1 control of the
// same value, so every byte has a character.
static const uint16_t Upper[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                   0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

typedef struct {
    const char *text[Cols];
    int len[Cols];
    int flag;
} Row;

static double Seconds(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static void Fail(const char *what, sqlite3 *db) {
    fprintf(stderr, "floor: %s: %s\n", what, db ? sqlite3_errmsg(db) : "failed");
    exit(1);
}

static void Exec(sqlite3 *db, const char *sql) {
    if (sqlite3_exec(db, sql, 0, 0, 0) != SQLITE_OK)
        Fail(sql, db);
}

// 8-bit text to UTF-8; answers the bytes written.
static int ToUtf8(char *out, const unsigned char *in, int n) {
    char *o = out;
    for (int i = 0; i < n; ++i) {
        unsigned c = in[i];
        if (c < 0x80) {
            *o++ = (char)c;
            continue;
        }
        unsigned u = c < 0xA0 ? Upper[c - 0x80] : c;
        if (u < 0x800) {
            *o++ = (char)(0xC0 | u >> 6);
        } else {
            *o++ = (char)(0xE0 | u >> 12);
            *o++ = (char)(0x80 | (u >> 6 & 0x3F));
        }
        *o++ = (char)(0x80 | (u & 0x3F));
    }
    return (int)(o - out);
}

// UTF-8 to 8-bit text; a character the code page lacks becomes '?'. Answers the bytes written.
static size_t ToCp1252(char *out, const unsigned char *in, int n) {
    size_t k = 0;
    for (int i = 0; i < n;) {
        unsigned c = in[i];
        if (c < 0x80) {
            out[k++] = (char)c;
            ++i;
            continue;
        }
        int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        unsigned u = c & (0x7F >> len);
        for (int j = 1; j < len && i + j < n; ++j)
            u = u << 6 | (in[i + j] & 0x3F);
        int b = u >= 0xA0 && u <= 0xFF ? (int)u : -1;
        for (int j = 0; j < 32 && b < 0; ++j)
            if (Upper[j] == u)
                b = 0x80 + j;
        out[k++] = b < 0 ? '?' : (char)b;
        i += len;
    }
    return k;
}

static int ByName(const void *a, const void *b) {
    return strcasecmp(*(char *const *)a, *(char *const *)b);
}

// The scan files of a folder in merge order.
static char **ListFiles(const char *folder, int *count) {
    DIR *dir = opendir(folder);
    if (!dir) {
        perror(folder);
        exit(1);
    }
    int cap = 1024, n = 0;
    char **names = malloc((size_t)cap * sizeof *names);
    for (struct dirent *e; (e = readdir(dir));) {
        size_t len = strlen(e->d_name);
        if (len <= 4 || strcasecmp(e->d_name + len - 4, ".ivx") != 0)
            continue;
        if (n == cap)
            names = realloc(names, (size_t)(cap *= 2) * sizeof *names);
        names[n++] = strdup(e->d_name);
    }
    closedir(dir);
    qsort(names, (size_t)n, sizeof *names, ByName);
    *count = n;
    return names;
}

static unsigned char *ReadWhole(const char *path, size_t *size) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        perror(path);
        exit(1);
    }
    unsigned char *buf = malloc((size_t)st.st_size + 1);
    ssize_t got = read(fd, buf, (size_t)st.st_size + 1);
    close(fd);
    *size = got > 0 ? (size_t)got : 0;
    return buf;
}

// One text of a record: a little-endian 32-bit length, then the bytes, cut at a NUL and to the column's width,
// converted into the arena.
static const unsigned char *ParseText(const unsigned char *p, const unsigned char *end, Row *row, int col,
                                      char **arena) {
    int32_t n = 0;
    if (end - p >= 4) {
        n = (int32_t)((uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24);
        p += 4;
    } else {
        p = end;
    }
    if (n < 0 || n > MaxText) {
        fprintf(stderr, "floor: text length %d\n", n);
        exit(1);
    }
    if (end - p < n)
        n = (int32_t)(end - p);
    const unsigned char *nul = memchr(p, 0, (size_t)n);
    int len = nul ? (int)(nul - p) : n;
    if (len > Width[col])
        len = Width[col];
    row->text[col] = *arena;
    row->len[col] = ToUtf8(*arena, p, len);
    *arena += row->len[col];
    return p + n;
}

// A file's records: maker, name, version, a flag byte, path. The arena needs three bytes per byte of the file.
static size_t ParseFile(const unsigned char *buf, size_t size, const char *user, int userLen, Row *rows, char *arena) {
    const unsigned char *p = buf, *end = buf + size;
    size_t n = 0;
    while (p < end) {
        Row *row = &rows[n++];
        row->text[0] = user;
        row->len[0] = userLen;
        for (int col = 1; col <= 3; ++col)
            p = ParseText(p, end, row, col, &arena);
        row->flag = p < end ? (int8_t)*p++ : 0;
        p = ParseText(p, end, row, 4, &arena);
    }
    return n;
}

typedef struct {
    sqlite3 *db;
    sqlite3_stmt *many, *one;
    int per;
} Inserter;

static sqlite3_stmt *PrepareInsert(sqlite3 *db, int rows) {
    char *sql = malloc(128 + (size_t)rows * 16), *s = sql;
    s += sprintf(s, "INSERT INTO Results (UserName, AppMaker, AppName, Version, AppPath, Verification) VALUES ");
    for (int i = 0; i < rows; ++i)
        s += sprintf(s, "%s(?,?,?,?,?,?)", i ? "," : "");
    sqlite3_stmt *st;
    if (sqlite3_prepare_v2(db, sql, -1, &st, 0) != SQLITE_OK)
        Fail("prepare", db);
    free(sql);
    return st;
}

static void InsertSome(sqlite3 *db, sqlite3_stmt *st, const Row *rows, int n) {
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < Cols; ++c)
            sqlite3_bind_text(st, i * 6 + c + 1, rows[i].text[c], rows[i].len[c], SQLITE_STATIC);
        sqlite3_bind_int(st, i * 6 + 6, rows[i].flag);
    }
    if (sqlite3_step(st) != SQLITE_DONE)
        Fail("insert", db);
    sqlite3_reset(st);
}

static void Insert(Inserter *in, const Row *rows, size_t n) {
    size_t i = 0;
    for (; i + (size_t)in->per <= n; i += (size_t)in->per)
        InsertSome(in->db, in->many, rows + i, in->per);
    for (; i < n; ++i)
        InsertSome(in->db, in->one, rows + i, 1);
}

// The second thread of filesov: deletes the paths handed to it, in order, until told to stop.
static struct {
    pthread_mutex_t lock;
    pthread_cond_t wake;
    char **paths;
    int ready, stop;
    pthread_t thread;
} Deleter = {PTHREAD_MUTEX_INITIALIZER, PTHREAD_COND_INITIALIZER, 0, 0, 0, 0};

static void *DeleteLoop(void *unused) {
    (void)unused;
    for (int done = 0;;) {
        pthread_mutex_lock(&Deleter.lock);
        while (done == Deleter.ready && !Deleter.stop)
            pthread_cond_wait(&Deleter.wake, &Deleter.lock);
        int upto = Deleter.ready, stop = Deleter.stop;
        pthread_mutex_unlock(&Deleter.lock);
        for (; done < upto; ++done)
            unlink(Deleter.paths[done]);
        if (stop && done == upto)
            return 0;
    }
}

static void HandOver(int upto) {
    pthread_mutex_lock(&Deleter.lock);
    Deleter.ready = upto;
    pthread_cond_signal(&Deleter.wake);
    pthread_mutex_unlock(&Deleter.lock);
}

static void StopDeleter(void) {
    pthread_mutex_lock(&Deleter.lock);
    Deleter.stop = 1;
    pthread_cond_signal(&Deleter.wake);
    pthread_mutex_unlock(&Deleter.lock);
    pthread_join(Deleter.thread, 0);
}

static sqlite3 *OpenTable(const char *path, int flags) {
    sqlite3 *db;
    if (sqlite3_open_v2(path, &db, flags, 0) != SQLITE_OK)
        Fail("open", db);
    Exec(db, "PRAGMA cache_size=-32768");
    return db;
}

// The merge's pragmas, then the knobs.
static void Configure(sqlite3 *db) {
    Exec(db, "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA secure_delete=FAST");
    char sql[64];
    if (getenv("FLOOR_SYNC")) {
        snprintf(sql, sizeof sql, "PRAGMA synchronous=%s", getenv("FLOOR_SYNC"));
        Exec(db, sql);
    }
    if (getenv("FLOOR_NOINDEX"))
        Exec(db, "DROP INDEX ResultsUserName");
}

typedef struct {
    const char *folder;
    char **names, **paths, **users;
    int files;
} ScanFiles;

static ScanFiles FindFiles(const char *dir) {
    ScanFiles f;
    f.folder = dir;
    f.names = ListFiles(dir, &f.files);
    f.paths = malloc((size_t)f.files * sizeof *f.paths);
    f.users = malloc((size_t)f.files * sizeof *f.users);
    for (int i = 0; i < f.files; ++i) {
        size_t len = strlen(f.names[i]) - 4;
        f.users[i] = strndup(f.names[i], len < 16 ? len : 16);
        f.paths[i] = malloc(strlen(dir) + strlen(f.names[i]) + 2);
        sprintf(f.paths[i], "%s/%s", dir, f.names[i]);
    }
    return f;
}

static size_t ReadAndParse(const ScanFiles *f, int i, Row **rows, size_t *cap, char **arena, size_t *arenaCap) {
    size_t size;
    unsigned char *buf = ReadWhole(f->paths[i], &size);
    if (size / 17 + 1 > *cap)
        *rows = realloc(*rows, (*cap = size / 17 + 1) * sizeof **rows);
    if (size * 3 + 16 > *arenaCap)
        *arena = realloc(*arena, *arenaCap = size * 3 + 16);
    size_t n = ParseFile(buf, size, f->users[i], (int)strlen(f->users[i]), *rows, *arena);
    free(buf);
    return n;
}

// rows: every file parsed up front into memory that stays, then the inserts alone timed.
static size_t InsertPreparsed(Inserter *in, const ScanFiles *f, double *start) {
    size_t total = 0;
    Row **rows = calloc((size_t)f->files, sizeof *rows);
    size_t *counts = calloc((size_t)f->files, sizeof *counts);
    for (int i = 0; i < f->files; ++i) {
        size_t cap = 0, arenaCap = 0;
        char *arena = 0;
        counts[i] = ReadAndParse(f, i, &rows[i], &cap, &arena, &arenaCap);
    }
    *start = Seconds();
    Exec(in->db, "BEGIN IMMEDIATE");
    for (int i = 0; i < f->files; ++i) {
        Insert(in, rows[i], counts[i]);
        total += counts[i];
    }
    return total;
}

// files and filesov: each file read, parsed and inserted in turn; with batch > 0 a commit every batch files,
// after which those files go to the deleting thread.
static size_t InsertFiles(Inserter *in, const ScanFiles *f, int batch) {
    size_t total = 0, cap = 0, arenaCap = 0;
    Row *rows = 0;
    char *arena = 0;
    sqlite3_stmt *del = 0;
    if (getenv("FLOOR_DELETE") &&
        sqlite3_prepare_v2(in->db, "DELETE FROM Results WHERE UserName = ?", -1, &del, 0) != SQLITE_OK)
        Fail("prepare", in->db);
    if (batch > 0) {
        Deleter.paths = f->paths;
        pthread_create(&Deleter.thread, 0, DeleteLoop, 0);
    }
    Exec(in->db, "BEGIN IMMEDIATE");
    for (int i = 0; i < f->files; ++i) {
        size_t n = ReadAndParse(f, i, &rows, &cap, &arena, &arenaCap);
        if (del) {
            sqlite3_bind_text(del, 1, f->users[i], -1, SQLITE_STATIC);
            if (sqlite3_step(del) != SQLITE_DONE)
                Fail("delete", in->db);
            sqlite3_reset(del);
        }
        Insert(in, rows, n);
        total += n;
        if (batch > 0 && ((i + 1) % batch == 0 || i + 1 == f->files)) {
            Exec(in->db, "COMMIT");
            HandOver(i + 1);
            if (i + 1 < f->files)
                Exec(in->db, "BEGIN IMMEDIATE");
        }
    }
    if (batch > 0)
        StopDeleter();
    sqlite3_finalize(del);
    free(rows);
    free(arena);
    return total;
}

static int Merge(const char *mode, const char *dir, int per) {
    char ivx[4096], table[4096];
    snprintf(ivx, sizeof ivx, "%s/ivx", dir);
    snprintf(table, sizeof table, "%s/Results.sqlite", dir);
    const int preparsed = strcmp(mode, "rows") == 0, overlapped = strcmp(mode, "filesov") == 0;
    const int batch = overlapped ? (getenv("FLOOR_BATCH") ? atoi(getenv("FLOOR_BATCH")) : 500) : 0;
    ScanFiles f = FindFiles(ivx);
    double start = Seconds();
    Inserter in = {OpenTable(table, SQLITE_OPEN_READWRITE), 0, 0, per};
    Configure(in.db);
    in.many = PrepareInsert(in.db, per);
    in.one = PrepareInsert(in.db, 1);
    size_t total = preparsed ? InsertPreparsed(&in, &f, &start) : InsertFiles(&in, &f, batch);
    double inserted = Seconds();
    if (!overlapped)
        Exec(in.db, "COMMIT");
    double committed = Seconds();
    for (int i = 0; i < f.files && !preparsed && !overlapped; ++i)
        unlink(f.paths[i]);
    sqlite3_finalize(in.many);
    sqlite3_finalize(in.one);
    sqlite3_close(in.db);
    fprintf(stderr, "insert %.3f s, commit %.3f s; %s: %zu rows, %d files, db phase %.3f s, total %.3f s\n",
            inserted - start, committed - inserted, mode, total, f.files, committed - start, Seconds() - start);
    return 0;
}

static void WriteAll(int fd, const char *buf, size_t len) {
    for (size_t done = 0; done < len;) {
        ssize_t w = write(fd, buf + done, len - done);
        if (w <= 0) {
            perror("write");
            exit(1);
        }
        done += (size_t)w;
    }
}

// One row as the export writes it: texts quoted in 8-bit text, Verification bare, CRLF.
static size_t CsvRow(sqlite3_stmt *st, char *out) {
    static const int Order[6] = {0, 1, 2, 3, 5, 4}; // Verification before AppPath
    size_t k = 0;
    for (int i = 0; i < 6; ++i) {
        int c = Order[i];
        if (i)
            out[k++] = ',';
        if (c == 5) {
            k += (size_t)sprintf(out + k, "%d", sqlite3_column_int(st, c));
            continue;
        }
        const unsigned char *text = sqlite3_column_text(st, c);
        out[k++] = '"';
        k += ToCp1252(out + k, text, sqlite3_column_bytes(st, c));
        out[k++] = '"';
    }
    out[k++] = '\r';
    out[k++] = '\n';
    return k;
}

static int Export(const char *dir) {
    char table[4096], csv[4096];
    snprintf(table, sizeof table, "%s/Results.sqlite", dir);
    snprintf(csv, sizeof csv, "%s/datadump.csv", dir);
    double start = Seconds();
    sqlite3 *db = OpenTable(table, SQLITE_OPEN_READONLY);
    sqlite3_stmt *st;
    if (sqlite3_prepare_v2(db, "SELECT UserName, AppMaker, AppName, Version, AppPath, Verification FROM Results", -1,
                           &st, 0) != SQLITE_OK)
        Fail("prepare", db);
    const size_t chunk = getenv("FLOOR_CHUNK") ? (size_t)atol(getenv("FLOOR_CHUNK")) : 0;
    size_t cap = chunk ? chunk + 8192 : (size_t)256 << 20, len = 0;
    char *buf = malloc(cap);
    int fd = open(csv, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        Fail(csv, 0);
    while (sqlite3_step(st) == SQLITE_ROW) {
        if (chunk && len >= chunk) {
            WriteAll(fd, buf, len);
            len = 0;
        }
        if (cap - len < 4096)
            buf = realloc(buf, cap *= 2);
        len += CsvRow(st, buf + len);
    }
    WriteAll(fd, buf, len);
    close(fd);
    sqlite3_finalize(st);
    sqlite3_close(db);
    fprintf(stderr, "export %.3f s\n", Seconds() - start);
    return 0;
}

static int ReadDelete(const char *dir) {
    char ivx[4096];
    snprintf(ivx, sizeof ivx, "%s/ivx", dir);
    ScanFiles f = FindFiles(ivx);
    double start = Seconds();
    size_t bytes = 0;
    for (int i = 0; i < f.files; ++i) {
        size_t size;
        free(ReadWhole(f.paths[i], &size));
        bytes += size;
        unlink(f.paths[i]);
    }
    fprintf(stderr, "readdel %d files %zu bytes %.3f s\n", f.files, bytes, Seconds() - start);
    return 0;
}

int main(int argc, char **argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: floor rows|files|filesov|export|readdel DIR [ROWS_PER_INSERT]\n");
        return 2;
    }
    const char *mode = argv[1];
    int per = argc > 3 ? atoi(argv[3]) : 64;
    if (per < 1 || per > MaxPerInsert)
        per = 64;
    if (strcmp(mode, "export") == 0)
        return Export(argv[2]);
    if (strcmp(mode, "readdel") == 0)
        return ReadDelete(argv[2]);
    if (strcmp(mode, "rows") == 0 || strcmp(mode, "files") == 0 || strcmp(mode, "filesov") == 0)
        return Merge(mode, argv[2], per);
    fprintf(stderr, "floor: unknown mode %s\n", mode);
    return 2;
}
