# Makes Bravelle-<version>-x64.msi from packaging/windows/Bravelle.wxs with wixl: run by the target `msi`
# of a Windows tree, after the programs are linked.
#   cmake -DSOURCE_DIR=... -DBINARY_DIR=... -DVERSION=... -DWIXL=... [-DOUTPUT_DIR=...] -P MakeMsi.cmake
# (OUTPUT_DIR: where the installer and its staging folder go, the tree by default.)
# The programs go in signed when the call gives a certificate, as into the zip (SignPrograms.cmake),
# and then the installer itself is signed with it too.
include(${CMAKE_CURRENT_LIST_DIR}/SignPrograms.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/SourceDateEpoch.cmake)

if(NOT OUTPUT_DIR)
  set(OUTPUT_DIR ${BINARY_DIR})
endif()
set(stage ${OUTPUT_DIR}/msi)
file(REMOVE_RECURSE ${stage})
file(MAKE_DIRECTORY ${stage})
foreach(file win32/Bravelle.exe cli/bravelle-cli.exe win32/LISEZMOI-README.txt)
  file(COPY ${BINARY_DIR}/${file} DESTINATION ${stage})
endforeach()
file(COPY ${SOURCE_DIR}/win32/Bravelle.ico DESTINATION ${stage})
bravelle_sign_programs(${stage} ${stage} Bravelle.exe bravelle-cli.exe)
# The installed files get the commit's time rather than the build's.
bravelle_source_date_epoch(epoch ${SOURCE_DIR})
execute_process(COMMAND touch -d @${epoch} Bravelle.exe bravelle-cli.exe LISEZMOI-README.txt WORKING_DIRECTORY ${stage})

# One product code per version, so that the same installer run again repairs rather than installs
# a second copy; a new version gets a new one, which the fixed upgrade code ties to the older ones.
string(UUID product NAMESPACE B174895F-2701-4844-B1BD-85C349438CB6 NAME "Bravelle ${VERSION} x64" TYPE SHA1 UPPER)
set(msi ${OUTPUT_DIR}/Bravelle-${VERSION}-x64.msi)
file(REMOVE ${msi})
# wixl finds the files named in the source in the folder it runs in.
execute_process(COMMAND ${WIXL} -a x64 -D Version=${VERSION} -D ProductCode={${product}} -o ${msi}
                        ${SOURCE_DIR}/packaging/windows/Bravelle.wxs
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT EXISTS ${msi})
  message(FATAL_ERROR "wixl failed:\n${output}")
endif()
if(NOT "$ENV{BRAVELLE_SIGN_PFX}" STREQUAL "")
  get_filename_component(name ${msi} NAME)
  bravelle_sign_programs(${OUTPUT_DIR} ${stage} ${name})
endif()
message(STATUS "Made ${msi}")
