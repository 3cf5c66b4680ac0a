# Constants of the build. Every value is a cache variable so that a release build (or a test
# build) sets its own with -D; the defaults are placeholders that point nowhere real.

set(VETRON_ENROLLMENT_BASE_URL "https://enroll.vetron.invalid" CACHE STRING
    "Base URL of the enrollment server")
set(VETRON_PORTAL_BASE_URL "https://my.vetron.invalid" CACHE STRING
    "Base URL of the account portal")
set(VETRON_SSH_HOST_KEY "ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIPlaceholderPlaceholderPlaceholderPlaceholder" CACHE STRING
    "Pinned host key of the protection SSH server: key type and base64 key")
set(VETRON_RELEASE_PUBLIC_KEY "" CACHE STRING
    "Release-signing public key: base64 of its PKCS#1 RSAPublicKey DER form")

set(VETRON_STATUS_HOST "status.vetron.internal" CACHE STRING "Status pseudo-host of the protection server")
set(VETRON_CONFIG_HOST "config.vetron.internal" CACHE STRING "Configuration pseudo-host of the protection server")
set(VETRON_PURGE_HOST "purge.vetron.internal" CACHE STRING "Purge pseudo-host of the protection server")
set(VETRON_SESSIONS_HOST "sessions.vetron.internal" CACHE STRING "Session-list pseudo-host of the protection server")
set(VETRON_SESSION_HOST "session.vetron.internal" CACHE STRING "Single-session pseudo-host of the protection server")

configure_file("${CMAKE_CURRENT_LIST_DIR}/BuildConstants.h.in"
               "${CMAKE_BINARY_DIR}/generated/BuildConstants.h" @ONLY)
