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

# Developer builds only: what lets a build run against the local stack that scripts/run starts.
set(VETRON_DEVELOPER_CA_FILE "" CACHE FILEPATH
    "Developer builds only: a PEM certificate authority the client trusts besides the system's")
set(VETRON_DEVELOPER_TOOL_DIR "" CACHE PATH
    "Developer builds only: a folder of stand-ins for the macOS tools the client drives")
option(VETRON_LOCAL_STACK
    "Developer builds only: pin the host key of the local stack's sshd, made in the build folder" OFF)

# A release build must never ship the developer defaults: a placeholder host key, servers that
# do not exist, a release-signing key made on the build machine, or anything of the local stack.
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
    set(_developer "")
    foreach(_name VETRON_DEVELOPER_CA_FILE VETRON_DEVELOPER_TOOL_DIR)
        if(NOT ${_name} STREQUAL "")
            list(APPEND _developer "${_name}")
        endif()
    endforeach()
    if(VETRON_LOCAL_STACK)
        list(APPEND _developer "VETRON_LOCAL_STACK")
    endif()
    set(_problems "")
    if(_missing)
        list(JOIN _missing "\n  " _list)
        string(APPEND _problems "A ${CMAKE_BUILD_TYPE} build needs real values for:\n  ${_list}\n")
    endif()
    if(_developer)
        list(JOIN _developer "\n  " _list)
        string(APPEND _problems "A ${CMAKE_BUILD_TYPE} build takes no developer constants; unset:\n  ${_list}\n")
    endif()
    if(_problems)
        message(FATAL_ERROR "${_problems}Developer and test builds use the Debug type, which makes its own.")
    endif()
endif()

# Every build but a release one takes the client's developer options.
set(VETRON_DEVELOPER_OPTIONS true)
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
    set(VETRON_DEVELOPER_OPTIONS false)
endif()

# The local stack's sshd keeps its host key in the build folder, made once here, so that the
# key the build pins stays the one the stack serves from run to run.
set(VETRON_LOCAL_STACK_HOST_KEY "")
if(VETRON_LOCAL_STACK)
    set(VETRON_LOCAL_STACK_HOST_KEY "${CMAKE_BINARY_DIR}/local-stack/ssh_host_ed25519_key")
    if(NOT EXISTS "${VETRON_LOCAL_STACK_HOST_KEY}")
        file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/local-stack")
        execute_process(COMMAND ssh-keygen -q -t ed25519 -N "" -C vetron-local-stack -f "${VETRON_LOCAL_STACK_HOST_KEY}"
                        RESULT_VARIABLE _result OUTPUT_QUIET ERROR_QUIET)
        if(NOT _result EQUAL 0)
            message(FATAL_ERROR "ssh-keygen could not make the local stack's host key")
        endif()
    endif()
    file(READ "${VETRON_LOCAL_STACK_HOST_KEY}.pub" _hostKey)
    # Shadows the cache entry: a local-stack build pins its own sshd.
    string(REGEX MATCH "^ssh-ed25519 [A-Za-z0-9+/]+=*" VETRON_SSH_HOST_KEY "${_hostKey}")
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
# The base URLs have a header of their own, read by one source file: the local stack's ports
# change them at every run, and only that file is compiled again.
configure_file("${CMAKE_CURRENT_LIST_DIR}/ServerBaseUrls.h.in"
               "${CMAKE_BINARY_DIR}/generated/ServerBaseUrls.h" @ONLY)
