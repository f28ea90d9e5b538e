# Makes bravelle-cli_<version>_<arch>.deb: run by the target `deb` of a native tree.
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DVERSION=... -DGENERATOR=... -DC_COMPILER=... -DCXX_COMPILER=...
#         -DMAINTAINER=... -P MakeDeb.cmake
# A package never carries the sanitizers that a test tree builds with: the program comes from a release
# tree of its own, <tree>/deb/release (no sanitizers, no tests), which this configures once and builds
# each time (only bravelle-cli and the maker of its manual page and completion).
include(${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    string(REPLACE ";" " " shown "${ARGN}")
    message(FATAL_ERROR "${shown}:\n${output}")
  endif()
endfunction()

set(work ${BINARY_DIR}/deb)
set(release ${work}/release)
if(NOT EXISTS ${release}/CMakeCache.txt)
  # Hardened as Debian builds its own packages (dpkg-buildflags), and for size.
  run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${release} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_C_COMPILER=${C_COMPILER} -DCMAKE_CXX_COMPILER=${CXX_COMPILER} -DBRAVELLE_SANITIZE=OFF
      -DBRAVELLE_TESTS=OFF "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong"
      "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${release} --target bravelle-cli bravelle-cli-docs
                RESULT_VARIABLE built)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "The release build of bravelle-cli failed")
endif()

bravelle_source_date_epoch(epoch ${SOURCE_DIR})
set(ENV{SOURCE_DATE_EPOCH} ${epoch})
string(TIMESTAMP date "%Y-%m-%d" UTC)
string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
string(TIMESTAMP YEAR "%Y" UTC)
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE)

set(root ${work}/root)
file(REMOVE_RECURSE ${root} ${work}/shlibdeps)
set(doc ${root}/usr/share/doc/bravelle-cli)
file(MAKE_DIRECTORY ${root}/DEBIAN ${root}/usr/bin ${root}/usr/share/man/man1 ${root}/usr/share/man/fr/man1
     ${root}/usr/share/bash-completion/completions ${root}/usr/lib/udev/rules.d ${doc})

# The program, without its symbols (as dh_strip leaves it).
file(COPY_FILE ${release}/cli/bravelle-cli ${root}/usr/bin/bravelle-cli)
run(strip --remove-section=.comment --remove-section=.note --strip-unneeded ${root}/usr/bin/bravelle-cli)
# The manual page in English and in French, and the completion, from the table of options.
set(docs ${release}/cli/bravelle-cli-docs)
foreach(made "man en ${date}:share/man/man1/bravelle-cli.1" "man fr ${date}:share/man/fr/man1/bravelle-cli.1"
        "bash-completion:share/bash-completion/completions/bravelle-cli")
  string(REPLACE ":" ";" made "${made}")
  list(GET made 0 arguments)
  list(GET made 1 path)
  separate_arguments(arguments)
  execute_process(COMMAND ${docs} ${arguments} OUTPUT_FILE ${root}/usr/${path} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "bravelle-cli-docs ${arguments} failed")
  endif()
endforeach()
file(COPY_FILE ${SOURCE_DIR}/packaging/debian/60-bravelle.rules ${root}/usr/lib/udev/rules.d/60-bravelle.rules)
configure_file(${SOURCE_DIR}/packaging/debian/copyright.in ${doc}/copyright @ONLY)
set(DATE "${changelog_date}")
configure_file(${SOURCE_DIR}/packaging/debian/changelog.in ${doc}/changelog @ONLY)
# Compressed without a name or a time inside, so that the bytes depend on the text alone.
foreach(page ${root}/usr/share/man/man1/bravelle-cli.1 ${root}/usr/share/man/fr/man1/bravelle-cli.1 ${doc}/changelog)
  run(gzip -9n ${page})
endforeach()

# What the program needs, read from the program as dpkg-shlibdeps reads it (from a source folder's
# debian/control, which it insists on).
file(MAKE_DIRECTORY ${work}/shlibdeps/debian)
file(WRITE ${work}/shlibdeps/debian/control "Source: bravelle\n\nPackage: bravelle-cli\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O -e${root}/usr/bin/bravelle-cli WORKING_DIRECTORY ${work}/shlibdeps
                RESULT_VARIABLE result OUTPUT_VARIABLE shlibs ERROR_VARIABLE errors OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT result EQUAL 0 OR NOT shlibs MATCHES "^shlibs:Depends=")
  message(FATAL_ERROR "dpkg-shlibdeps:\n${shlibs}\n${errors}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" DEPENDS "${shlibs}")

# Every file and folder as the package installs it, owned by root (dpkg-deb --root-owner-group),
# dated from the commit.
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
list(SORT files)
set(size 0)
set(md5sums "")
foreach(f ${files})
  file(SIZE ${root}/${f} bytes)
  math(EXPR size "${size} + (${bytes} + 1023) / 1024")
  file(MD5 ${root}/${f} md5)
  string(APPEND md5sums "${md5}  ${f}\n")
  if(f STREQUAL "usr/bin/bravelle-cli")
    file(CHMOD ${root}/${f} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    file(CHMOD ${root}/${f} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
endforeach()
file(GLOB_RECURSE folders LIST_DIRECTORIES true ${root}/*)
foreach(f ${root} ${folders})
  if(IS_DIRECTORY ${f})
    file(CHMOD ${f} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
set(INSTALLED_SIZE ${size})
configure_file(${SOURCE_DIR}/packaging/debian/control.in ${root}/DEBIAN/control @ONLY)
file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")
file(CHMOD ${root}/DEBIAN/control ${root}/DEBIAN/md5sums PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

set(deb ${BINARY_DIR}/bravelle-cli_${VERSION}_${ARCHITECTURE}.deb)
file(REMOVE ${deb})
run(dpkg-deb --root-owner-group -Zxz --build ${root} ${deb})
message(STATUS "Made ${deb}")
