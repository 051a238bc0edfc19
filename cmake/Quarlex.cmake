# quarlex_library(NAME DIR [SUBDIRS <folders>] QT <Qt targets> DEPS <libs>)
# A static library from every .cpp/.h directly inside DIR and inside each of the SUBDIRS of DIR
# (new files are picked up on the next build).
function(quarlex_library name dir)
    cmake_parse_arguments(ARG "" "" "SUBDIRS;QT;DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    foreach(sub ${ARG_SUBDIRS})
        file(GLOB more CONFIGURE_DEPENDS ${dir}/${sub}/*.cpp ${dir}/${sub}/*.h)
        list(APPEND sources ${more})
    endforeach()
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_QT} ${ARG_DEPS})
endfunction()

# quarlex_test(NAME SOURCES <files> LIBS <libs> [GUI])
# A Qt Test executable run by ctest. GUI tests run on the offscreen platform; every test gets a
# Chinese UTF-8 locale and a private HOME so that nothing touches the user's real files.
function(quarlex_test name)
    cmake_parse_arguments(ARG "GUI" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set(env "LANG=C.UTF-8" "LC_ALL=C.UTF-8" "HOME=${CMAKE_BINARY_DIR}/test-home/${name}"
            "XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-home/${name}/.config"
            "ASAN_OPTIONS=detect_leaks=0"
            "QT_QPA_PLATFORM=offscreen")
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    # Pictures are read with the text recognition models the build prepared, when it did.
    if(QUARLEX_HAVE_OCR_MODELS)
        list(APPEND env "QUARLEX_OCR_MODELS=${QUARLEX_OCR_MODELS_DIR}")
        add_dependencies(${name} quarlex_ocr_models)
    endif()
    # A search given no readers reads documents through the format module, as the program does.
    if(TARGET quarlex_formats)
        list(APPEND env "QUARLEX_FORMAT_MODULE=$<TARGET_FILE:quarlex_formats>")
        add_dependencies(${name} quarlex_formats)
    endif()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT ${ARG_TIMEOUT})
endfunction()
