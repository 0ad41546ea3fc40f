#include "RegisterDatabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <random>
#include <utility>

#include "CopyDatabase.h"
#include "Database.h"
#include "DatabaseName.h"
#include "DatabaseSecrets.h"
#include "GMojRege.h"
#include "NumberText.h"
#include "PlatformError.h"
#include "RegistryStore.h"
#include "TextCodec.h"

namespace regdb {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxSubKeyChars = 255;
constexpr char kControlTable[] = "コントロールマスタ";
constexpr std::string_view kStoreHeader = "Windows Registry Editor Version 5.00";

std::string FullKeyPath(const Registration& entry) {
    return std::string(kPackageKey) + "\\" + entry.subKey;
}

std::string SystemReason() {
    return std::strerror(errno);
}

// ---- The store's encoding and lines -------------------------------------

enum class Encoding { Utf8, Utf16Le, Utf16Be, Cp932 };

struct StoreLayout {
    Encoding encoding = Encoding::Utf8;
    std::size_t bomBytes = 0;
    std::size_t unitBytes = 1;
};

// The same choice the readers make (textcodec::DecodeText): a byte order
// mark, else valid UTF-8, else the ANSI code page of a Japanese system.
StoreLayout DetectLayout(std::span<const std::uint8_t> bytes) {
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
        return {Encoding::Utf16Le, 2, 2};
    if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
        return {Encoding::Utf16Be, 2, 2};
    if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
        return {Encoding::Utf8, 3, 1};
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return {textcodec::IsValidUtf8(text) ? Encoding::Utf8 : Encoding::Cp932, 0, 1};
}

void SwapPairs(std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        std::swap(bytes[i], bytes[i + 1]);
}

std::vector<std::uint8_t> Encode(std::string_view utf8, Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf16Le:
            return textcodec::Utf8ToUtf16Le(utf8);
        case Encoding::Utf16Be: {
            std::vector<std::uint8_t> bytes = textcodec::Utf8ToUtf16Le(utf8);
            SwapPairs(bytes);
            return bytes;
        }
        case Encoding::Cp932: {
            const std::string ansi = textcodec::Utf8ToCp932(utf8);
            return {ansi.begin(), ansi.end()};
        }
        case Encoding::Utf8:
            break;
    }
    return {utf8.begin(), utf8.end()};
}

std::string Decode(std::span<const std::uint8_t> bytes, Encoding encoding) {
    switch (encoding) {
        case Encoding::Utf16Le:
            return textcodec::Utf16LeToUtf8(bytes);
        case Encoding::Utf16Be: {
            std::vector<std::uint8_t> swapped(bytes.begin(), bytes.end());
            SwapPairs(swapped);
            return textcodec::Utf16LeToUtf8(swapped);
        }
        case Encoding::Cp932:
            return textcodec::Cp932ToUtf8(
                std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        case Encoding::Utf8:
            break;
    }
    return {bytes.begin(), bytes.end()};
}

unsigned UnitAt(std::span<const std::uint8_t> bytes, std::size_t at, const StoreLayout& layout) {
    if (layout.unitBytes == 1)
        return bytes[at];
    return layout.encoding == Encoding::Utf16Le ? bytes[at] | (bytes[at + 1] << 8)
                                                : (bytes[at] << 8) | bytes[at + 1];
}

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;  // past the line feed, when there is one
    std::string text;     // decoded, without blanks, CR and LF at either end
};

std::string_view Trim(std::string_view s) {
    constexpr std::string_view blanks = " \t\r\n";
    const std::size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

std::vector<Line> SplitLines(std::span<const std::uint8_t> bytes, const StoreLayout& layout,
                             bool& crlf) {
    std::vector<Line> lines;
    bool sawLineEnd = false;
    crlf = true;  // what regedit writes, for a file without any line end
    std::size_t begin = layout.bomBytes;
    std::size_t at = begin;
    while (at + layout.unitBytes <= bytes.size()) {
        const unsigned unit = UnitAt(bytes, at, layout);
        at += layout.unitBytes;
        if (unit != '\n')
            continue;
        if (!sawLineEnd) {
            const std::size_t lf = at - layout.unitBytes;
            crlf = lf >= begin + layout.unitBytes &&
                   UnitAt(bytes, lf - layout.unitBytes, layout) == '\r';
            sawLineEnd = true;
        }
        lines.push_back({begin, at, {}});
        begin = at;
    }
    if (begin < bytes.size())
        lines.push_back({begin, bytes.size(), {}});
    for (Line& line : lines) {
        line.text = std::string(
            Trim(Decode(bytes.subspan(line.begin, line.end - line.begin), layout.encoding)));
    }
    return lines;
}

// The key path of a section line "[path]", empty for any other line.
std::string_view SectionPath(std::string_view line) {
    if (line.empty() || line.front() != '[')
        return {};
    const std::size_t close = line.rfind(']');
    if (close == std::string_view::npos || close < 1)
        return {};
    return line.substr(1, close - 1);
}

std::string Quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

std::vector<std::string> SectionLines(const Registration& entry) {
    return {"[" + FullKeyPath(entry) + "]",
            Quoted("DataBaseName") + "=" + Quoted(entry.databasePath),
            Quoted("DataBaseMode") + "=" + Quoted("0"),
            Quoted("UserName") + "=" + Quoted(entry.userName)};
}

// ---- Checks of the entry ------------------------------------------------

bool HasControlCharacter(std::string_view text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

// `shown` is the value as a message may show it.
void CheckValue(const std::string& label, const std::string& text, const std::string& shown) {
    if (HasControlCharacter(text))
        throw RegisterError(label + "に改行などの制御文字は使えません。");
    const std::string ansi = textcodec::Utf8ToCp932(text);
    if (!textcodec::IsValidUtf8(text) || textcodec::Cp932ToUtf8(ansi) != text) {
        throw RegisterError(label + "「" + textcodec::SanitizeUtf8(shown) +
                            "」に Shift_JIS で表せない文字があります。出力・取込の画面はこの"
                            "文字を読めません。");
    }
    if (ansi.size() > kMaxValueBytes) {
        throw RegisterError(label + "が長すぎます（Shift_JIS で " + std::to_string(ansi.size()) +
                            " バイト）。出力・取込の画面が読めるのは " +
                            std::to_string(kMaxValueBytes) + " バイトまでです。");
    }
}

// ---- Reading and writing files ------------------------------------------

struct FileDescriptor {
    int fd = -1;
    FileDescriptor() = default;
    explicit FileDescriptor(int f) : fd(f) {}
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
};

// A temporary file in the store's folder, removed at scope exit unless it
// was renamed into place.
struct TemporaryFile {
    int folder = -1;
    std::string name;
    bool placed = false;
    ~TemporaryFile() {
        if (!name.empty() && !placed)
            ::unlinkat(folder, name.c_str(), 0);
    }
};

void WriteAll(int fd, std::span<const std::uint8_t> bytes, const std::string& path) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw RegisterError("保存ファイル " + path + " を書き込めません: " + SystemReason());
        done += static_cast<std::size_t>(n);
    }
}

// The store's folder, created when missing, open for the calls relative to
// it. The store's own folder must not be a symbolic link: whoever planted one
// would have the tool create and replace files wherever it points. The
// folders above it are the user's own (a linked ~/.config is common).
FileDescriptor OpenStoreFolder(const fs::path& folder) {
    std::error_code ec;
    if (folder.has_parent_path())
        fs::create_directories(folder.parent_path(), ec);
    if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        throw RegisterError("フォルダ " + folder.string() + " を作成できません: " + SystemReason());
    }
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd >= 0)
        return fd;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        throw RegisterError("保存フォルダ " + folder.string() +
                            " がシンボリックリンクのため、変更しません。リンクを削除して、"
                            "もう一度実行してください（フォルダは作り直します）。");
    }
    throw RegisterError(
        "フォルダ " + folder.string() + " を作成できません: " +
        (errno == ENOTDIR ? std::string("同じ名前のファイルがあります") : SystemReason()));
}

[[noreturn]] void RefuseLinkedStore(const std::string& path) {
    throw RegisterError("保存ファイル " + path +
                        " がシンボリックリンクのため、変更しません。リンクを削除して、もう一度"
                        "実行してください（登録は新しいファイルに書きます）。");
}

// The store's bytes (none when there is no store), read without following
// a symbolic link.
std::vector<std::uint8_t> ReadStore(int folder, const fs::path& path) {
    const std::string name = path.filename().string();
    FileDescriptor fd(::openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.fd < 0 && errno == ENOENT)
        return {};
    if (fd.fd < 0 && errno == ELOOP)
        RefuseLinkedStore(path.string());
    struct stat st {};
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode))
        throw RegisterError("保存ファイル " + path.string() + " を読み込めません。");
    // Through the descriptor already open, with the store reader's own limits.
    const auto bytes = GMojRege::RegistryStore::ReadFile("/proc/self/fd/" + std::to_string(fd.fd));
    if (!bytes)
        throw RegisterError("保存ファイル " + path.string() + " を読み込めません。");
    return *bytes;
}

std::string Usage() {
    return "使い方: velkan-register-database [--copy-from SQLiteファイル] "
           "データベースのパスまたはURI 利用者名 [サブキー名]\n";
}

std::string Help() {
    return Usage() +
           "\n"
           "浄化槽システムのデータベース（SQLite ファイル、または PostgreSQL の接続 URI）を、\n"
           "浄化槽金額データ出力と消費税対応処理(データ取込)の「データベース選択」に登録します。\n"
           "登録先: " +
           GMojRege::RegistryStorePath() +
           "\n"
           "サブキー名を省略すると Septictank に登録します（同じサブキーの登録は置き換え、\n"
           "ほかの登録は変更しません）。詳しくは man velkan-register-database "
           "を参照してください。\n";
}

}  // namespace

std::string DatabasePathFromArgument(std::string_view argument, const std::string& currentDir) {
    // A server is registered as given, but for blanks around it: the
    // programs hand it to libpq.
    if (IsServerDatabaseName(std::string(argument)))
        return TrimmedDatabaseName(std::string(argument));
    std::string path;
    if (argument.size() >= 5 &&
        (argument.substr(0, 5) == "file:" || argument.substr(0, 5) == "FILE:")) {
        std::string_view rest = argument.substr(5);
        if (rest.starts_with("//")) {
            rest.remove_prefix(2);
            const std::size_t slash = rest.find('/');
            const std::string_view host = rest.substr(0, slash);
            if (!host.empty() && host != "localhost") {
                throw RegisterError("ほかのコンピューター（" + std::string(host) +
                                    "）のファイルは登録できません。このパソコンから見えるパス"
                                    "を指定してください。");
            }
            rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash);
        }
        if (rest.empty() || rest.front() != '/')
            throw RegisterError("file: の URI には絶対パスを書いてください: " +
                                std::string(argument));
        if (rest.find_first_of("?#") != std::string_view::npos) {
            throw RegisterError(
                "URI の ? や # 以降は使えません。データベースファイルのパスだけ"
                "を指定してください: " +
                std::string(argument));
        }
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (rest[i] != '%') {
                path.push_back(rest[i]);
                continue;
            }
            const auto hex = numbertext::HexDigit;
            const int high = i + 2 < rest.size() ? hex(rest[i + 1]) : -1;
            const int low = i + 2 < rest.size() ? hex(rest[i + 2]) : -1;
            if (high < 0 || low < 0 || (high == 0 && low == 0)) {
                throw RegisterError("URI の % の後ろが正しくありません: " + std::string(argument));
            }
            path.push_back(static_cast<char>(high * 16 + low));
            i += 2;
        }
    } else {
        path = std::string(argument);
    }
    if (path.empty())
        throw RegisterError("データベースのパスが空です。");
    fs::path p(path);
    if (p.is_relative())
        p = fs::path(currentDir) / p;
    return p.lexically_normal().string();
}

void CheckRegistration(const Registration& entry) {
    const std::string& key = entry.subKey;
    if (key.empty())
        throw RegisterError("サブキー名が空です。");
    if (key.find(kSubKeyMark) == std::string::npos) {
        throw RegisterError("サブキー名「" + textcodec::SanitizeUtf8(key) + "」には " +
                            std::string(kSubKeyMark) +
                            " を含めてください（大文字・小文字もこのとおりに）。含まないサブキー"
                            "は出力・取込の画面に表示されません。");
    }
    if (key.find('\\') != std::string::npos || HasControlCharacter(key) ||
        !textcodec::IsValidUtf8(key)) {
        throw RegisterError("サブキー名に \\ や制御文字は使えません。");
    }
    if (textcodec::CodePointCount(key) > kMaxSubKeyChars)
        throw RegisterError("サブキー名が長すぎます（255 文字まで）。");
    // The store is a plain file any program of the user reads, and backed up
    // and copied as one: no password goes into it.
    if (IsServerDatabaseName(entry.databasePath) &&
        NameWithoutSecrets(entry.databasePath) != TrimmedDatabaseName(entry.databasePath)) {
        throw RegisterError(
            "接続文字列にパスワードがあるため、登録しません（保存ファイルにそのまま残ります）。"
            "パスワードを外した " +
            NameWithoutSecrets(entry.databasePath) +
            " を指定し、パスワードは ~/.pgpass（権限 0600、1 "
            "行に「ホスト:ポート:データベース:ユーザー:パスワード」）に書いてください。");
    }
    CheckValue("データベースのパス", entry.databasePath, DatabaseDisplayName(entry.databasePath));
    CheckValue("利用者名", entry.userName, entry.userName);
}

void CheckDatabaseFile(const std::string& path) {
    try {
        const Database db(path, /*readOnly=*/true);
        if (!db.hasTable(kControlTable)) {
            throw RegisterError(
                "浄化槽システムのデータベースではありません（" + std::string(kControlTable) +
                " の表がありません）: " + DatabaseDisplayName(path) +
                "\n浄化槽システムのデータを変換した SQLite ファイル、または velkan-sample-db "
                "で作ったサンプルを指定してください。");
        }
    } catch (const PlatformError& e) {
        throw RegisterError(e.description());
    }
}

void CopyDatabaseToServer(const std::string& file, const std::string& server) {
    try {
        CheckDatabaseFile(file);
        const Database from(file, /*readOnly=*/true);
        Database to(server, /*readOnly=*/false);
        CopyDatabase(from, to);
    } catch (const PlatformError& e) {
        throw RegisterError(e.description());
    }
}

std::vector<std::uint8_t> StoreWithEntry(std::span<const std::uint8_t> store,
                                         const Registration& entry, bool& replaced) {
    replaced = false;
    const std::vector<std::string> section = SectionLines(entry);
    const std::string target = GMojRege::FoldName(FullKeyPath(entry));

    std::vector<std::uint8_t> out;
    const StoreLayout layout = DetectLayout(store);
    bool crlf = true;
    const std::vector<Line> lines = SplitLines(store, layout, crlf);
    const std::string eol = crlf ? "\r\n" : "\n";
    const auto append = [&](std::string_view utf8) {
        const std::vector<std::uint8_t> bytes = Encode(utf8, layout.encoding);
        out.insert(out.end(), bytes.begin(), bytes.end());
    };
    const auto appendSection = [&] {
        for (const std::string& line : section)
            append(line + eol);
    };

    bool blank = true;
    for (const Line& line : lines)
        blank = blank && line.text.empty();
    if (blank) {
        // No store yet (or an empty one): a new file, UTF-8 unless the
        // empty one has a byte order mark, which it keeps (without it the
        // text would be read as another encoding).
        out.assign(store.begin(), store.begin() + static_cast<std::ptrdiff_t>(layout.bomBytes));
        append(std::string(kStoreHeader) + "\r\n\r\n");
        for (const std::string& line : section)
            append(line + "\r\n");
        return out;
    }
    if (const auto current = GMojRege::RegistryStore::Parse(store); !current.valid()) {
        if (!current.problem().empty())
            throw RegisterError(current.problem() + "ファイルは変更していません。");
        throw RegisterError(
            "保存ファイルがレジストリの書き出し形式ではないため、変更しません。"
            "1 行目が \"" +
            std::string(kStoreHeader) + "\" のファイルにしてください。");
    }

    // Every byte outside the chosen subkey's sections is copied as it is;
    // blank lines inside them stay too, so the spacing between sections does
    // not change.
    out.assign(store.begin(), store.begin() + static_cast<std::ptrdiff_t>(layout.bomBytes));
    bool inTarget = false;
    for (const Line& line : lines) {
        const std::string_view path = SectionPath(line.text);
        if (!path.empty()) {
            inTarget = GMojRege::FoldName(path) == target;
            if (inTarget && !replaced) {
                appendSection();
                replaced = true;
            }
            if (inTarget)
                continue;
        }
        if (inTarget && !line.text.empty())
            continue;
        out.insert(out.end(), store.begin() + static_cast<std::ptrdiff_t>(line.begin),
                   store.begin() + static_cast<std::ptrdiff_t>(line.end));
    }
    if (!replaced) {
        const Line& last = lines.back();
        const bool endsWithLineFeed = last.end - last.begin >= layout.unitBytes &&
                                      UnitAt(store, last.end - layout.unitBytes, layout) == '\n';
        if (!endsWithLineFeed)
            append(eol);
        if (!last.text.empty())
            append(eol);
        appendSection();
    }

    // What the windows will read back from the new text.
    const GMojRege::RegistryStore check = GMojRege::RegistryStore::Parse(out);
    const GMojRege::RegistryKey* key = check.FindKey(FullKeyPath(entry));
    const auto value = [&](std::string_view name) {
        const GMojRege::RegistryValue* v =
            key ? GMojRege::RegistryStore::FindValue(*key, name) : nullptr;
        return v ? GMojRege::ValueText(*v) : std::string("\x01");
    };
    if (value("DataBaseName") != entry.databasePath || value("DataBaseMode") != "0" ||
        value("UserName") != entry.userName) {
        throw RegisterError(
            "保存ファイルの内容を正しく作れませんでした。ファイルは変更していません。");
    }
    return out;
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const fs::path target(path);
    const std::string name = target.filename().string();
    const FileDescriptor folder = OpenStoreFolder(target.parent_path());

    struct stat st {};
    mode_t mode = S_IRUSR | S_IWUSR;
    if (::fstatat(folder.fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISLNK(st.st_mode))
            RefuseLinkedStore(path);
        if (!S_ISREG(st.st_mode))
            throw RegisterError("保存ファイル " + path + " が通常のファイルではありません。");
        mode = st.st_mode & 07777;
    }

    TemporaryFile temp;
    temp.folder = folder.fd;
    FileDescriptor file;
    std::random_device random;
    for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
        const std::string candidate = "." + name + "." + std::to_string(random() % 1000000000);
        file.fd = ::openat(folder.fd, candidate.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
        if (file.fd >= 0)
            temp.name = candidate;
        else if (errno != EEXIST)
            break;
    }
    if (file.fd < 0) {
        throw RegisterError("フォルダ " + target.parent_path().string() +
                            " にファイルを作成できません: " + SystemReason());
    }
    WriteAll(file.fd, bytes, path);
    if (::fchmod(file.fd, mode) != 0 || ::fsync(file.fd) != 0)
        throw RegisterError("保存ファイル " + path + " を書き込めません: " + SystemReason());
    const int fd = std::exchange(file.fd, -1);
    if (::close(fd) != 0)
        throw RegisterError("保存ファイル " + path + " を書き込めません: " + SystemReason());
    // A link placed meanwhile is replaced by the rename, not followed.
    if (::renameat(folder.fd, temp.name.c_str(), folder.fd, name.c_str()) != 0) {
        throw RegisterError("保存ファイル " + path + " を置き換えられません: " + SystemReason());
    }
    temp.placed = true;
    // The rename itself reaches the disk with the folder.
    ::fsync(folder.fd);
}

int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    std::string copyFrom;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && (arg == "-h" || arg == "--help")) {
            out << Help();
            return 0;
        }
        if (options && arg == "--copy-from" && i + 1 < args.size()) {
            copyFrom = args[++i];
            continue;
        }
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg.size() > 1 && arg.front() == '-') {
            err << "velkan-register-database: オプション " << arg << " はありません。\n" << Usage();
            return 2;
        }
        positional.push_back(arg);
    }
    if (positional.size() < 2 || positional.size() > 3) {
        err << Usage();
        return 2;
    }

    try {
        Registration entry;
        std::error_code ec;
        const fs::path cwd = fs::current_path(ec);
        entry.databasePath = DatabasePathFromArgument(positional[0], cwd.string());
        entry.userName = positional[1];
        if (positional.size() == 3)
            entry.subKey = positional[2];
        CheckRegistration(entry);
        if (!copyFrom.empty()) {
            // A site moving to a server: its file's tables and rows first, all
            // or nothing, then the server is registered in the file's place.
            if (!IsServerDatabaseName(entry.databasePath))
                throw RegisterError("--copy-from のコピー先はデータベースサーバーの URI です。");
            CopyDatabaseToServer(DatabasePathFromArgument(copyFrom, cwd.string()),
                                 entry.databasePath);
            out << copyFrom << " のデータを " << DatabaseDisplayName(entry.databasePath)
                << " にコピーしました。\n";
        }
        CheckDatabaseFile(entry.databasePath);

        const std::string storePath = GMojRege::RegistryStorePath();
        const FileDescriptor folder = OpenStoreFolder(fs::path(storePath).parent_path());
        // One registration at a time: the store is read, changed and replaced.
        ::flock(folder.fd, LOCK_EX);
        const std::vector<std::uint8_t> old = ReadStore(folder.fd, storePath);
        bool replaced = false;
        const std::vector<std::uint8_t> bytes = StoreWithEntry(old, entry, replaced);
        WriteFileAtomically(storePath, bytes);

        if (replaced) {
            out << entry.subKey << " の登録を「" << entry.userName << "」のデータベース "
                << DatabaseDisplayName(entry.databasePath) << " に置き換えました。\n";
        } else {
            out << "「" << entry.userName << "」のデータベース "
                << DatabaseDisplayName(entry.databasePath) << " を " << entry.subKey
                << " として登録しました。\n";
        }
        out << "保存ファイル: " << storePath << "\n";
        return 0;
    } catch (const RegisterError& e) {
        err << "velkan-register-database: " << e.what() << "\n";
    } catch (const std::exception& e) {
        err << "velkan-register-database: 登録できませんでした: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace regdb
