// The version that the programs' --version prints: the release and, for a build from a git
// checkout, the commit ("1.50 (git 1a2b3c4d5e6f)"). The definition is written at build time.
#pragma once

extern const char kProgramVersion[];
