#include "ui/protocol.h"

#include <sys/time.h>

#include <cstdio>

#include "interp/api.h"
#include "platform/ini.h"

namespace tvx::ui {

void ProtocolLog::initialise(const std::string& iniPath) {
    fileName_ = logFileName(iniPath);
    enabled_ =
        platform::parseProfileInt(platform::iniGetString(iniPath, "Protocol", "WriteProtocol", "0")) != 0;
    if (!enabled_) return;
    // Read and kept; the log is never cut (DeleteOnStart removes nothing either:
    // an unattended run's earlier entries stay for whoever checks them).
    deleteOnStart_ =
        platform::parseProfileInt(platform::iniGetString(iniPath, "Protocol", "DeleteOnStart", "1"));
    maxLines_ = platform::parseProfileInt(platform::iniGetString(iniPath, "Protocol", "MaxZeilen", "0"));
    maxColumns_ = platform::parseProfileInt(platform::iniGetString(iniPath, "Protocol", "MaxSpalten", "5"));
}

std::string ProtocolLog::logFileName(const std::string& iniPath) {
    if (iniPath.size() >= 4 && iniPath[iniPath.size() - 4] == '.')
        return iniPath.substr(0, iniPath.size() - 4) + ".lst";
    return iniPath + ".lst";
}

std::string ProtocolLog::timeStamp(const std::tm& t, int milliseconds) {
    char text[96];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d, %02d:%02d:%02d.%03d: ", t.tm_mday, t.tm_mon + 1,
                  t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, milliseconds);
    return text;
}

void ProtocolLog::append(std::string_view text) const {
    if (!enabled_ || fileName_.empty()) return;
    std::FILE* f = std::fopen(fileName_.c_str(), "a+b");
    if (!f) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

void ProtocolLog::write(std::string_view message) const {
    if (!enabled_) return;
    timeval now{};
    gettimeofday(&now, nullptr);
    std::tm local{};
    time_t seconds = now.tv_sec;
    localtime_r(&seconds, &local);
    std::string entry = timeStamp(local, static_cast<int>(now.tv_usec / 1000));
    entry.append(message);
    entry += "\r\n";
    append(entry);
}

void ProtocolLog::writePlain(std::string_view message) const {
    if (!enabled_) return;
    std::string entry(message);
    entry += "\r\n";
    append(entry);
}

ProtocolLog& protocolLog() {
    static ProtocolLog log;
    return log;
}

void ProtocolLog::writeErrorBox(std::string_view text) const {
    // The box's first line feed becomes CR: message, CR LF, the macro line
    // (a text that already ends its first line with CR LF stays as it is).
    std::string entry(text);
    size_t lf = entry.find('\n');
    if (lf != std::string::npos && (lf == 0 || entry[lf - 1] != '\r')) entry[lf] = '\r';
    write(entry);
}

std::string lineCrashText(std::string_view line) {
    return "Bei Ausf\xC3\xBChrung der Zeile\r>> " + std::string(line) +
           " <<\rwurde das Makro unerwartet beendet !";
}

std::string startupCrashText(std::string_view line) {
    return "Bei Ausf\xC3\xBChrung der Zeile\r\n>> " + std::string(line) +
           " <<\r\nist ein Ausnahmefehler aufgetreten !\r\nDie Anwendung muss daher beendet werden.";
}

}  // namespace tvx::ui
