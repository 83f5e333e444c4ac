# CPack's External generator runs this after installing the release files
# into CPACK_TEMPORARY_DIRECTORY: tools/release/make_zip.py packs them into
# ${CPACK_PACKAGE_FILE_NAME}.zip and writes SHA256SUMS, which CPack then copies
# to the package directory.
#
# The zip records one time for every file: SOURCE_DATE_EPOCH if it is set,
# otherwise the time of the source tree's last commit.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${CPACK_VELMORA_SOURCE_DIR} log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE git_status ERROR_QUIET)
  endif()
  if(NOT GIT_FOUND OR NOT git_status EQUAL 0)
    message(FATAL_ERROR "${CPACK_VELMORA_SOURCE_DIR} is no git checkout: set SOURCE_DATE_EPOCH "
                        "to the release's time (seconds since 1970) to make the zip")
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a whole number of seconds, not \"${epoch}\"")
endif()
if(NOT CPACK_VELMORA_PYTHON)
  message(FATAL_ERROR "making the zip needs Python 3 (configure again once it is installed)")
endif()

set(out ${CPACK_TOPLEVEL_DIRECTORY}/out)
file(REMOVE_RECURSE ${out})
file(MAKE_DIRECTORY ${out})
execute_process(COMMAND ${CPACK_VELMORA_PYTHON} ${CPACK_VELMORA_SOURCE_DIR}/tools/release/make_zip.py
                        --epoch ${epoch} --sums ${out}/SHA256SUMS
                        ${CPACK_TEMPORARY_DIRECTORY} ${out}/${CPACK_PACKAGE_FILE_NAME}.zip
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "make_zip.py failed")
endif()
set(CPACK_EXTERNAL_BUILT_PACKAGES ${out}/${CPACK_PACKAGE_FILE_NAME}.zip ${out}/SHA256SUMS)
