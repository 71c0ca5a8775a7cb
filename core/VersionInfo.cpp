#include "VersionInfo.h"

// Linux program files carry no version resource: the version record is compiled in from
// the build's project version. A part the project leaves out counts as 0.
namespace {
struct VersionRecord {
    bool present;
    int major, minor, release, build;
};

#if defined(KV_VERSION_MAJOR)
constexpr VersionRecord kVersion = {true, KV_VERSION_MAJOR + 0, KV_VERSION_MINOR + 0, KV_VERSION_PATCH + 0,
                                    KV_VERSION_TWEAK + 0};
#else
constexpr VersionRecord kVersion = {false, 0, 0, 0, 0};
#endif
}  // namespace

void GetAppVersion(QString& Text)
{
    if (!kVersion.present) {
        Text.clear();
        return;
    }
    Text = QString::asprintf("%d.%d.%d.%d", kVersion.major, kVersion.minor, kVersion.release, kVersion.build);
}
