// What `updpack --version` prints: the version of updpack and, for each
// updater it carries, its size and SHA-256, so that a release engineer can
// tell which updater a release was built from.
#pragma once

#include <string>

std::string VersionText();
