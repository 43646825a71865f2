# Packs the page folder into bundle.zip (entries under html/) and writes
# BuiltInBundle.cpp with a version tag taken from the names and contents of the files.
file(REMOVE_RECURSE ${OUT_DIR}/stage)
file(MAKE_DIRECTORY ${OUT_DIR}/stage)
file(COPY ${PAGE_DIR}/ DESTINATION ${OUT_DIR}/stage/html PATTERN node_modules EXCLUDE)

file(GLOB_RECURSE files RELATIVE ${OUT_DIR}/stage ${OUT_DIR}/stage/html/*)
list(SORT files)
set(digest "")
foreach(f IN LISTS files)
  file(SHA256 ${OUT_DIR}/stage/${f} h)
  string(APPEND digest "${f}:${h}\n")
endforeach()
string(SHA256 tag "${digest}")
string(SUBSTRING ${tag} 0 16 BUNDLE_TAG)

file(REMOVE ${OUT_DIR}/bundle.zip)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT_DIR}/bundle.zip --format=zip -- ${files}
                WORKING_DIRECTORY ${OUT_DIR}/stage RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "could not pack the page bundle")
endif()
configure_file(${TEMPLATE} ${OUT_DIR}/BuiltInBundle.cpp @ONLY)
