#pragma once

#include <string>

// The machine's model as its firmware names it, or "(Linux PC)".
std::string machineModel();
// "Linux " + the kernel release.
std::string operatingSystemName();
// The user's locale as a BCP-47 name such as en-US (from LC_ALL, LC_MESSAGES, LANG).
std::string userLocaleName();
std::string userLocaleName(const std::string& posixLocale);
// The user's numeric id.
unsigned userId();
// The machine's D-Bus id (/etc/machine-id, then /var/lib/dbus/machine-id), else its host name.
std::string machineId();
// A new random UUID in lower case, or all zeros when none can be made.
std::string newUuid();
// The program's version text (for example 1.0.0.7) and its fourth component.
std::string programVersion();
int programVersionCode();
// The reverse-DNS application id: the installed desktop entry's, icon's and window class's name.
std::string applicationId();
// The executable's birth (falling back to modification) and modification times as
// "YYYY-MM-DDTHH:MM:SS.mmmZ"; empty texts when they cannot be read.
void executableTimes(std::string& created, std::string& modified);
std::string utcTimestamp(long long seconds, long nanoseconds);
