# `format` rewrites every source file; `check-format` fails when one is not formatted.
find_program(CLANG_FORMAT_EXECUTABLE NAMES clang-format clang-format-14)
if(CLANG_FORMAT_EXECUTABLE)
    file(GLOB_RECURSE TALLYGLASS_FORMAT_FILES CONFIGURE_DEPENDS
        ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h
        ${PROJECT_SOURCE_DIR}/tools/*.cpp ${PROJECT_SOURCE_DIR}/tools/*.h
        ${PROJECT_SOURCE_DIR}/demo/*.cpp ${PROJECT_SOURCE_DIR}/demo/*.h
        ${PROJECT_SOURCE_DIR}/tests/*.cpp ${PROJECT_SOURCE_DIR}/tests/*.h
        ${PROJECT_SOURCE_DIR}/packaging/*.cpp
        ${PROJECT_SOURCE_DIR}/bench/*.cpp)
    # The layer check's sample tree holds include lines only; it is neither built nor formatted.
    list(FILTER TALLYGLASS_FORMAT_FILES EXCLUDE REGEX "/tests/layers/fixture/")
    add_custom_target(format COMMAND ${CLANG_FORMAT_EXECUTABLE} -i ${TALLYGLASS_FORMAT_FILES})
    add_custom_target(check-format COMMAND ${CLANG_FORMAT_EXECUTABLE} --dry-run -Werror ${TALLYGLASS_FORMAT_FILES})
endif()
