# Run by CPack on the files it is about to package: Debian keeps manual pages and changelogs
# gzipped (-9, without a name or time stamp, so that the package is reproducible).
file(GLOB_RECURSE to_compress
     ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]
     ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/*/changelog)
foreach(file IN LISTS to_compress)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endforeach()
