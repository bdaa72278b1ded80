#pragma once
// The program's version record and contact addresses, compiled in from the build (the
// project's VERSION, the CMake cache variables VELKOR_VERSION_COMMENT and VELKOR_*_MAIL / _WEB).

#include <string>
#include <string_view>

namespace velkor {

struct VersionRecord {
  std::string fileVersion;  // "major.minor.patch.build", empty when unknown
  std::string comment;      // empty when unknown
};

struct ContactAddresses {
  std::string technicalMail;
  std::string technicalWeb;
  std::string commercialMail;
  std::string commercialWeb;
};

// The release number, as the programs' --version and the package give it ("0.1").
std::string_view PackageVersion();
VersionRecord ProgramVersionRecord();
ContactAddresses ProgramContacts();

// "3.3.0.1" gives "3.3  Build 1": the part before the second point, two blanks, "Build ",
// then up to three characters after the third point. "-" when the version has not three
// points.
std::string VersionText(std::string_view fileVersion);
// The comment as it is, "-" when empty.
std::string CommentText(std::string_view comment);

// A mail link with a subject and the body "...".
std::string MailtoLink(std::string_view address, std::string_view subject);

}  // namespace velkor
