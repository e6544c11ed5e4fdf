# The example field, run with the built program, and the installation: the
# install rules, the Debian package and the example run with the packaged
# program.
add_test(NAME example
         COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/example_test.sh $<TARGET_FILE:starmark>
                 ${PROJECT_SOURCE_DIR}/examples)
# A sanitized program needs the sanitizer libraries at run time and is never
# packaged.
if(NOT STARMARK_SANITIZE)
  add_test(NAME package
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_SOURCE_DIR})
endif()
