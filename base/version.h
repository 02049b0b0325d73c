#pragma once
// The program's version: the project's version, and the commit it was
// built from when built from a git checkout ("0.3.0+g1234abcd5678").

namespace ebsim {

const char* ProgramVersion();

}  // namespace ebsim
