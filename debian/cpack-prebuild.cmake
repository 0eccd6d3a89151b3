# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged tree, before the .deb is
# made: gzips the manual page and installs the Debian changelog and the
# machine-readable copyright file. gzip -n keeps no name or time stamp, so the
# package's bytes do not depend on when it was built.
set(source "${CPACK_DORVENIX_SOURCE_DIR}")
set(usr "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT EXISTS "${usr}/bin/dorvenix")
  message(FATAL_ERROR "cpack-prebuild: no bin/dorvenix under ${usr}")
endif()

find_program(GZIP gzip REQUIRED)
function(gzip_to input output)
  execute_process(COMMAND "${GZIP}" -9nc "${input}" OUTPUT_FILE "${output}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cpack-prebuild: gzip ${input} failed")
  endif()
  file(CHMOD "${output}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

set(man "${usr}/share/man/man1/dorvenix.1")
gzip_to("${man}" "${man}.gz")
file(REMOVE "${man}")

set(doc "${usr}/share/doc/dorvenix")
file(MAKE_DIRECTORY "${doc}")
gzip_to("${source}/debian/changelog" "${doc}/changelog.Debian.gz")
file(COPY_FILE "${source}/debian/copyright" "${doc}/copyright")
file(CHMOD "${doc}/copyright" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(overrides "${usr}/share/lintian/overrides")
file(MAKE_DIRECTORY "${overrides}")
file(COPY_FILE "${source}/debian/dorvenix.lintian-overrides" "${overrides}/dorvenix")
file(CHMOD "${overrides}/dorvenix" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

# CPack's strip keeps the .comment and .note sections, which have no use in
# the package.
find_program(STRIP strip REQUIRED)
execute_process(COMMAND "${STRIP}" --remove-section=.comment --remove-section=.note "${usr}/bin/dorvenix"
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack-prebuild: strip ${usr}/bin/dorvenix failed")
endif()
