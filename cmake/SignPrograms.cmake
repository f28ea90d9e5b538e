# Signs the programs the release archive is about to take, in the archive's staging
# folder, with the company's code-signing certificate: run by the install step of
# `cmake --build <win64 tree> --target package`, it reads the environment of that call.
#   BRAVELLE_SIGN_PFX        the certificate and its private key, a PKCS#12 (.pfx) file
#   BRAVELLE_SIGN_PASSWORD   its password, if it has one
#   BRAVELLE_SIGN_TIMESTAMP  an RFC 3161 time-stamping server, so that the signature
#                            outlives the certificate; without it the signature is
#                            valid only while the certificate is
# Without BRAVELLE_SIGN_PFX the programs go into the archive unsigned, as built.
#
# bravelle_sign_programs(<folder> <scratch folder> <program>...)
function(bravelle_sign_programs folder scratch)
  set(pfx "$ENV{BRAVELLE_SIGN_PFX}")
  if(pfx STREQUAL "")
    message(WARNING "Release programs not signed: BRAVELLE_SIGN_PFX names no certificate")
    return()
  endif()
  if(NOT EXISTS "${pfx}")
    message(FATAL_ERROR "BRAVELLE_SIGN_PFX: no such file: ${pfx}")
  endif()
  find_program(osslsigncode osslsigncode)
  if(NOT osslsigncode)
    message(FATAL_ERROR "BRAVELLE_SIGN_PFX is set but osslsigncode is not installed")
  endif()
  set(options -pkcs12 "${pfx}" -h sha256 -n Bravelle)
  if(NOT "$ENV{BRAVELLE_SIGN_TIMESTAMP}" STREQUAL "")
    list(APPEND options -ts "$ENV{BRAVELLE_SIGN_TIMESTAMP}")
  endif()
  # The password goes through a file only its owner reads, never on a command
  # line that every user's process list shows.
  set(password_file "${scratch}/bravelle-sign-password")
  if(NOT "$ENV{BRAVELLE_SIGN_PASSWORD}" STREQUAL "")
    file(WRITE "${password_file}" "")
    file(CHMOD "${password_file}" PERMISSIONS OWNER_READ OWNER_WRITE)
    file(WRITE "${password_file}" "$ENV{BRAVELLE_SIGN_PASSWORD}")
    list(APPEND options -readpass "${password_file}")
  endif()
  foreach(program IN LISTS ARGN)
    set(unsigned "${folder}/${program}")
    # osslsigncode writes a new file; a failed signing leaves none behind.
    file(REMOVE "${unsigned}.signed")
    execute_process(COMMAND "${osslsigncode}" sign ${options} -in "${unsigned}" -out "${unsigned}.signed"
                    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
    if(NOT result EQUAL 0)
      file(REMOVE "${password_file}" "${unsigned}.signed")
      message(FATAL_ERROR "Signing ${program} failed:\n${output}")
    endif()
    file(RENAME "${unsigned}.signed" "${unsigned}")
    message(NOTICE "Signed ${program} with ${pfx}")
  endforeach()
  file(REMOVE "${password_file}")
endfunction()
