// The user's ODBC data source file (odbc.ini) as the component writes it.
//
// unixODBC's installer rewrites the whole file on every write without any
// lock, so two programs writing at once lose each other's data sources or
// leave debris of them. Every write of the component goes through here
// instead:
//   - the read-modify-write runs under the shared-file lock beside the file
//     and replaces the file atomically (platform/SharedFile.h), so writers of
//     this component never interleave and readers never see half a file;
//   - a write that would change nothing is skipped and leaves the file as it
//     is (the usual case: every open re-asserts its data source);
//   - the file keeps its mode, and loses group and other access as soon as
//     it holds a password;
//   - a file with a line that is not blank, a comment, a [section] or a
//     key=value line inside a section is not rewritten: the write fails and
//     names the file and the line.
// Every other line (comments, other data sources, unknown keys) is kept
// byte for byte. Section and key names compare without regard to case, as
// the driver manager reads them; of two sections with one name the driver
// manager uses the first, so edits go to the first and a removal removes all.
//
// What this cannot prevent: a program that writes the file without this lock
// (odbcinst, another application's installer) may still rewrite it from a
// copy it read before our write, so our change is lost (the next open writes
// it again), or leave the file half-written while it writes in place.
//
//   qel::datasource::ini::OdbcIniFile file(qel::datasource::ini::UserOdbcIniPath());
//   file.WriteSection("Clinic", {{"Driver", "SQLite3"}, {"Database", "/srv/clinic.db"}});
//   if (!file.RemoveSection("Clinic")) log(file.LastError());
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <qel/platform/Export.h>

namespace qel::datasource::ini {

using Keys = std::vector<std::pair<std::string, std::string>>;

// The file the driver manager reads user data sources from: $ODBCINI, else
// .odbc.ini in the home folder of the user's account (it does not look at
// HOME).
QEL_API std::string UserOdbcIniPath();

// The text of an odbc.ini file, line by line. Edits change only the lines
// of the section they name.
class QEL_API OdbcIniText {
public:
    // nullopt (with `error` naming the line) when a line is not ours to keep.
    static std::optional<OdbcIniText> Parse(std::string_view text, std::string& error);

    // The keys of the first section of that name, in file order; nullopt when
    // there is none.
    std::optional<Keys> Section(std::string_view name) const;
    // The first section of that name holds exactly `keys` afterwards (a new
    // section goes at the end). Comment lines inside it are kept.
    void ReplaceSection(const std::string& name, const Keys& keys);
    // Sets one key of the first section of that name, keeping its others; a
    // missing section is created with that key alone.
    void SetKey(const std::string& section, const std::string& key, const std::string& value);
    // Removes every section of that name; false when there was none.
    bool RemoveSection(std::string_view name);
    // Whether any section holds a non-empty password.
    bool HoldsPassword() const;

    std::string Text() const;

private:
    struct Line {
        std::string text;      // as read, without the line end
        std::string section;   // the section it belongs to ("" before the first)
        bool header = false;   // "[section]"
        bool key = false;      // "key=value"
        std::string name;      // key name, trimmed (key lines)
        std::string value;     // value, trimmed (key lines)
    };

    // [first, last) of the lines of the first section named `name`
    // (header included); nullopt when there is none.
    std::optional<std::pair<std::size_t, std::size_t>> Find(std::string_view name) const;
    static Line KeyLine(const std::string& section, const std::string& name, const std::string& value);
    static Line BlankLine(const std::string& section);

    std::vector<Line> m_lines;
};

// Writes of the user data source file, each one locked read-modify-write.
class QEL_API OdbcIniFile {
public:
    explicit OdbcIniFile(std::string path) : m_path(std::move(path)) {}

    bool WriteSection(const std::string& name, const Keys& keys);
    bool SetKey(const std::string& section, const std::string& key, const std::string& value);
    // True also when there was no such section.
    bool RemoveSection(const std::string& name);

    // Why the last write failed (the path and the cause).
    const std::string& LastError() const { return m_error; }
    // Whether the last successful write replaced the file (false when it
    // found nothing to change).
    bool Changed() const { return m_changed; }
    const std::string& Path() const { return m_path; }

private:
    template <class Edit>
    bool Update(Edit edit);

    std::string m_path;
    std::string m_error;
    bool m_changed = false;
};

}  // namespace qel::datasource::ini
