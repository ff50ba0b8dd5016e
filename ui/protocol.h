// The protocol log: an optional text file of errors and unusual events, each
// entry appended with a time stamp, so that unattended runs can be checked.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace tvx::ui {

class ProtocolLog {
public:
    // Reads section Protocol of the settings file at iniPath; the log file is
    // the settings file with the extension ".lst".
    void initialise(const std::string& iniPath);

    bool enabled() const { return enabled_; }
    const std::string& fileName() const { return fileName_; }
    long long deleteOnStart() const { return deleteOnStart_; }
    long long maxLines() const { return maxLines_; }
    long long maxColumns() const { return maxColumns_; }

    // Appends "dd.mm.yyyy, hh:mm:ss.mmm: " + message + CR LF (the file is opened
    // and closed for every entry; a file that cannot be opened is skipped).
    void write(std::string_view message) const;
    // The same without the time stamp.
    void writePlain(std::string_view message) const;
    // An error box's text: the message, CR LF, the macro line.
    void writeErrorBox(std::string_view text) const;

    // The file name for a settings file: ".ini" replaced (when the fourth
    // character from the end is a dot), else ".lst" appended.
    static std::string logFileName(const std::string& iniPath);
    static std::string timeStamp(const std::tm& local, int milliseconds);

private:
    void append(std::string_view text) const;

    bool enabled_ = false;
    std::string fileName_;
    long long deleteOnStart_ = 1;
    long long maxLines_ = 0;
    long long maxColumns_ = 5;
};

// The program's log (set up at start-up).
ProtocolLog& protocolLog();

// The crash texts: a macro line that ended the macro unexpectedly, and an
// exception during start-up that ends the program.
std::string lineCrashText(std::string_view line);
std::string startupCrashText(std::string_view line);

}  // namespace tvx::ui
