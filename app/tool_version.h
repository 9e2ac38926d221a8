// The programs' version, as the build found it: the source's `git describe`
// ("v2.0.0.4-3-g19399c0", "-dirty" with uncommitted changes) or the project's
// version ("2.0.0.4") where the source is no git checkout.
#pragma once

extern const char* const toolVersion;
