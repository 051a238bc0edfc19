#include "search/ocr/paddle_models.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <mutex>
#include <set>

namespace ocr::paddle {

namespace {

// The largest a model file may be: the recogniser is some 11 MiB.
constexpr qint64 kMaxModelBytes = 64 << 20;

struct State
{
    std::mutex mutex;
    QString chosen;                       // setModelFolder's
    QString loadedFrom;                   // the folder `loaded` came from
    std::shared_ptr<const Models> loaded; // null: not read yet, or missing
    bool tried = false;                   // `loadedFrom` was tried
    std::set<QString> told;               // folders whose missing models stderr was told of
};

State &state()
{
    // Never destroyed: a worker may still be reading a picture when the program ends.
    static State *const s = new State;
    return *s;
}

QString folderLocked(const State &s)
{
    if (!s.chosen.isEmpty())
        return s.chosen;
    const QString fromEnvironment = qEnvironmentVariable("QUARLEX_OCR_MODELS");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    if (!QCoreApplication::instance())
        return QString();
    const QString program = QCoreApplication::applicationDirPath();
    const QString beside = program + QStringLiteral("/ocr-models");
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(program + QStringLiteral("/../share/quarlex/ocr-models"));
}

bool readFile(const QString &path, std::vector<char> &out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0 || file.size() > kMaxModelBytes)
        return false;
    out.resize(size_t(file.size()));
    return file.read(out.data(), qint64(out.size())) == qint64(out.size());
}

std::shared_ptr<const Models> read(const QString &folder)
{
    if (folder.isEmpty())
        return nullptr;
    auto models = std::make_shared<Models>();
    const QDir dir(folder);
    if (!readFile(dir.filePath(QStringLiteral("det.onnx")), models->detection) ||
        !readFile(dir.filePath(QStringLiteral("cls.onnx")), models->direction) ||
        !readFile(dir.filePath(QStringLiteral("rec.onnx")), models->recognition))
        return nullptr;
    std::vector<char> keys;
    if (!readFile(dir.filePath(QStringLiteral("keys.txt")), keys))
        return nullptr;
    models->characters.push_back(QString()); // the CTC blank
    for (const QByteArray &key : QByteArray(keys.data(), qsizetype(keys.size())).split('\n')) {
        const QString character = QString::fromUtf8(key).remove(u'\r');
        if (!character.isEmpty())
            models->characters.push_back(character);
    }
    models->characters.push_back(QStringLiteral(" "));
    QFile version(dir.filePath(QStringLiteral("models.version")));
    if (!version.open(QIODevice::ReadOnly))
        return nullptr;
    models->version = version.read(256).trimmed();
    return models;
}

} // namespace

QString modelFolder()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    return folderLocked(s);
}

void setModelFolder(const QString &folder)
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    s.chosen = folder;
}

std::shared_ptr<const Models> models()
{
    State &s = state();
    std::lock_guard lock(s.mutex);
    const QString folder = folderLocked(s);
    if (s.tried && s.loadedFrom == folder)
        return s.loaded;
    s.loaded = read(folder);
    s.loadedFrom = folder;
    s.tried = true;
    if (!s.loaded && s.told.insert(folder).second) {
        std::fprintf(stderr,
                     "quarlex: no text recognition models in \"%s\"; pictures are read by "
                     "Tesseract alone\n",
                     qPrintable(QDir::toNativeSeparators(folder)));
    }
    return s.loaded;
}

QByteArray modelsVersion()
{
    QFile version(QDir(modelFolder()).filePath(QStringLiteral("models.version")));
    if (!version.open(QIODevice::ReadOnly))
        return QByteArray();
    return version.read(256).trimmed();
}

} // namespace ocr::paddle
