#include "search/documents/encrypted_package.h"

#include <QFile>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-utils.h>

#include <cstring>
#include <mutex>

namespace documents {

namespace {

// Releases a GObject reference when it goes out of scope.
template <typename T> struct Ref
{
    T *p = nullptr;
    explicit Ref(T *p) : p(p) {}
    ~Ref()
    {
        if (p)
            g_object_unref(p);
    }
    Ref(const Ref &) = delete;
    Ref &operator=(const Ref &) = delete;
};

} // namespace

bool isEncryptedPackage(const QString &path)
{
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // libgsf warns on stderr about every oddity of a damaged compound file; the outcome says
        // what matters.
        g_log_set_handler(
            "libgsf:msole",
            GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO |
                           G_LOG_LEVEL_DEBUG),
            [](const gchar *, GLogLevelFlags, const gchar *, gpointer) {}, nullptr);
    });
    GError *error = nullptr;
    Ref<GsfInput> input(gsf_input_stdio_new(QFile::encodeName(path).constData(), &error));
    if (error)
        g_error_free(std::exchange(error, nullptr));
    if (!input.p)
        return false;
    Ref<GsfInfile> ole(gsf_infile_msole_new(input.p, &error));
    if (error)
        g_error_free(error);
    if (!ole.p)
        return false;
    // By the names in the directory: opening a child of a damaged file makes libgsf warn on stderr.
    bool info = false;
    bool package = false;
    const int children = gsf_infile_num_children(ole.p);
    for (int i = 0; i < children; ++i) {
        const char *name = gsf_infile_name_by_index(ole.p, i);
        if (!name)
            continue;
        info = info || std::strcmp(name, "EncryptionInfo") == 0;
        package = package || std::strcmp(name, "EncryptedPackage") == 0;
    }
    return info && package;
}

Outcome EncryptedPackageExtractor::extract(const QString &path, TextSink &)
{
    return isEncryptedPackage(path) ? Outcome::Encrypted : Outcome::Damaged;
}

} // namespace documents
