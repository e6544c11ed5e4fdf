# The example field's generator, which computes the expected outputs by a
# search of its own, must still write exactly the committed files (the case
# folder Example runs the program on them); then the installation: the
# install rules, the Debian package and the example run with the packaged
# program.
add_test(NAME example-generator
         COMMAND sh -c "mkdir -p \"$1\" && sh \"$0/make-field.sh\" \"$1\" && diff -r -x '*.png' -x '*.sh' \"$0\" \"$1\""
                 ${PROJECT_SOURCE_DIR}/examples ${CMAKE_CURRENT_BINARY_DIR}/example-generated)
# A sanitized program needs the sanitizer libraries at run time and is never
# packaged.
if(NOT STARMARK_SANITIZE)
  add_test(NAME package
           COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${PROJECT_BINARY_DIR}
                   ${PROJECT_SOURCE_DIR})
endif()
