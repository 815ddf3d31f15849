# The publisher key that release signatures are checked against is built into the program.
# QEL_RELEASE_PUBLIC_KEY_FILE holds it as written by "cvtool release keygen": the Base64 text
# of a 3072-bit RSA public key blob (CNG layout), 548 characters. The default is the
# development key, whose private half lies open in tests/data: fine for development, never
# for players.
set(QEL_DEVELOPMENT_RELEASE_KEY_FILE ${CMAKE_SOURCE_DIR}/res/release_key_development_only.txt)
set(QEL_RELEASE_PUBLIC_KEY_FILE ${QEL_DEVELOPMENT_RELEASE_KEY_FILE} CACHE FILEPATH
    "Public key file of the release publisher (548-character Base64 text from cvtool release keygen)")

if(NOT EXISTS "${QEL_RELEASE_PUBLIC_KEY_FILE}")
  message(FATAL_ERROR "QEL_RELEASE_PUBLIC_KEY_FILE: ${QEL_RELEASE_PUBLIC_KEY_FILE} does not exist")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QEL_RELEASE_PUBLIC_KEY_FILE})
file(READ ${QEL_RELEASE_PUBLIC_KEY_FILE} qel_release_key)
string(STRIP "${qel_release_key}" qel_release_key)
string(LENGTH "${qel_release_key}" qel_release_key_length)
# The first 32 characters encode the blob header: "RSA1", 3072 bits, a 3-byte exponent, a
# 384-byte modulus, no primes.
if(NOT qel_release_key_length EQUAL 548 OR NOT qel_release_key MATCHES "^UlNBMQAMAAADAAAAgAEAAAAAAAAAAAAA[A-Za-z0-9+/]+$")
  message(FATAL_ERROR "QEL_RELEASE_PUBLIC_KEY_FILE: ${QEL_RELEASE_PUBLIC_KEY_FILE} does not hold a release "
          "public key. Expected the 548-character Base64 text of a 3072-bit RSA public key blob, as "
          "\"cvtool release keygen\" writes it.")
endif()

file(READ ${QEL_DEVELOPMENT_RELEASE_KEY_FILE} qel_development_key)
string(STRIP "${qel_development_key}" qel_development_key)
# A build that trusts the development key refuses every https:// release source: anyone can
# sign for it, so it installs releases from local folders only.
if(qel_release_key STREQUAL qel_development_key)
  set(qel_release_key_is_development 1)
  if(CMAKE_BUILD_TYPE STREQUAL "Release")
    message(WARNING "Release key: the DEVELOPMENT key (no -DQEL_RELEASE_PUBLIC_KEY_FILE). This launcher trusts "
            "the development release key and installs releases from a local folder only; players need a build "
            "made with -DQEL_RELEASE_PUBLIC_KEY_FILE=<your studio's key>.")
  endif()
else()
  set(qel_release_key_is_development 0)
endif()

set_property(SOURCE ${CMAKE_SOURCE_DIR}/src/update/release_document.cpp APPEND PROPERTY
             COMPILE_DEFINITIONS QEL_RELEASE_PUBLIC_KEY="${qel_release_key}"
             QEL_RELEASE_KEY_IS_DEVELOPMENT=${qel_release_key_is_development})
