# Constants of the build. Every value is a cache variable so that a release build (or a test
# build) sets its own with -D; the defaults are placeholders that point nowhere real.

set(_placeholderHostKey "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIPlaceholderPlaceholderPlaceholderPlaceholder")
set(VETRON_ENROLLMENT_BASE_URL "https://enroll.vetron.invalid" CACHE STRING
    "Base URL of the enrollment server")
set(VETRON_PORTAL_BASE_URL "https://my.vetron.invalid" CACHE STRING
    "Base URL of the account portal")
set(VETRON_SSH_HOST_KEY "${_placeholderHostKey}" CACHE STRING
    "Pinned host key of the protection SSH server: key type and base64 key")
set(VETRON_RELEASE_PUBLIC_KEY "" CACHE STRING
    "Release-signing public key: base64 of its PKCS#1 RSAPublicKey DER form, in lines of 64")

# A release build must never ship the developer defaults: a placeholder host key, servers that
# do not exist, or a release-signing key made on the build machine.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(_missing "")
    if(VETRON_RELEASE_PUBLIC_KEY STREQUAL "")
        list(APPEND _missing "VETRON_RELEASE_PUBLIC_KEY (the publisher's release-signing public key)")
    endif()
    if(VETRON_SSH_HOST_KEY STREQUAL _placeholderHostKey OR NOT VETRON_SSH_HOST_KEY MATCHES "^ssh-ed25519 [A-Za-z0-9+/]+=*$")
        list(APPEND _missing "VETRON_SSH_HOST_KEY (the protection server's ed25519 host key)")
    endif()
    foreach(_url VETRON_ENROLLMENT_BASE_URL VETRON_PORTAL_BASE_URL)
        if(NOT ${_url} MATCHES "^https://[^/]+" OR ${_url} MATCHES "^https://[^/]*\\.(invalid|internal|test|example|localhost)(:[0-9]+)?(/|$)")
            list(APPEND _missing "${_url} (a real https address)")
        endif()
    endforeach()
    if(_missing)
        list(JOIN _missing "\n  " _list)
        message(FATAL_ERROR "A ${CMAKE_BUILD_TYPE} build needs real values for:\n  ${_list}\n"
                            "Developer and test builds use the Debug type, which makes its own.")
    endif()
endif()

# Without a publisher's key (tests, developer builds) the build makes a key pair of its own, so
# that manifests can be signed locally. The private half stays in the build directory.
set(VETRON_RELEASE_KEY_DIR "${CMAKE_BINARY_DIR}/release-signing")
if(VETRON_RELEASE_PUBLIC_KEY STREQUAL "")
    set(_private "${VETRON_RELEASE_KEY_DIR}/private.pem")
    if(NOT EXISTS "${_private}")
        file(MAKE_DIRECTORY "${VETRON_RELEASE_KEY_DIR}")
        execute_process(COMMAND openssl genrsa -out "${_private}" 3072
                        RESULT_VARIABLE _result OUTPUT_QUIET ERROR_QUIET)
        if(NOT _result EQUAL 0)
            message(FATAL_ERROR "openssl could not make the developer release-signing key")
        endif()
    endif()
    execute_process(COMMAND openssl rsa -in "${_private}" -RSAPublicKey_out -outform DER
                            -out "${VETRON_RELEASE_KEY_DIR}/public.der"
                    RESULT_VARIABLE _result OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND openssl base64 -in "${VETRON_RELEASE_KEY_DIR}/public.der"
                    OUTPUT_VARIABLE _releaseKey OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _result2)
    if(NOT _result EQUAL 0 OR NOT _result2 EQUAL 0)
        message(FATAL_ERROR "openssl could not read the developer release-signing key")
    endif()
    set(VETRON_RELEASE_PRIVATE_KEY "${_private}")
else()
    set(_releaseKey "${VETRON_RELEASE_PUBLIC_KEY}")
    set(VETRON_RELEASE_PRIVATE_KEY "")
endif()
# The key is kept with its line breaks; the header writes them as "\n".
string(REPLACE "\n" "\\n" VETRON_RELEASE_PUBLIC_KEY_LITERAL "${_releaseKey}")

set(VETRON_STATUS_HOST "status.vetron.internal" CACHE STRING "Status pseudo-host of the protection server")
set(VETRON_CONFIG_HOST "config.vetron.internal" CACHE STRING "Configuration pseudo-host of the protection server")
set(VETRON_PURGE_HOST "purge.vetron.internal" CACHE STRING "Purge pseudo-host of the protection server")
set(VETRON_SESSIONS_HOST "sessions.vetron.internal" CACHE STRING "Session-list pseudo-host of the protection server")
set(VETRON_SESSION_HOST "session.vetron.internal" CACHE STRING "Single-session pseudo-host of the protection server")

configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildConstants.h.in"
               "${CMAKE_BINARY_DIR}/generated/BuildConstants.h" @ONLY)
