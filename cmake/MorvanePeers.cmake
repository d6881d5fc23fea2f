# The peer libraries that the tests use as independent oracles and the benchmarks compare with.
# Each is used when it is found; MORVANE_WITH_<PEER>=OFF leaves it out even where it is installed,
# so that every combination can be built on one machine. Each found peer becomes an interface
# target, morvane_peer_<name>, that links the library and defines MORVANE_HAVE_<PEER>; nothing
# else in the build looks for them.
option(MORVANE_WITH_OPENSSL "Use OpenSSL's libcrypto in the tests and benchmarks when found" ON)
option(MORVANE_WITH_NETTLE "Use nettle in the tests and benchmarks when found" ON)
option(MORVANE_WITH_GCRYPT "Use libgcrypt in the benchmarks when found" ON)
option(MORVANE_WITH_CRYPTOPP "Use Crypto++ in the tests and benchmarks when found" ON)

set(MORVANE_PEERS_FOUND)

function(morvane_add_peer name define)
  add_library(morvane_peer_${name} INTERFACE)
  target_link_libraries(morvane_peer_${name} INTERFACE ${ARGN})
  target_compile_definitions(morvane_peer_${name} INTERFACE ${define}=1)
  set(MORVANE_PEERS_FOUND ${MORVANE_PEERS_FOUND} ${name} PARENT_SCOPE)
endfunction()

if(MORVANE_WITH_OPENSSL)
  find_package(OpenSSL QUIET)
  if(OpenSSL_FOUND)
    morvane_add_peer(openssl MORVANE_HAVE_OPENSSL OpenSSL::Crypto)
  endif()
endif()

# The others through their pkg-config modules.
set(module_nettle nettle)
set(module_gcrypt libgcrypt)
set(module_cryptopp libcrypto++)
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  foreach(peer nettle gcrypt cryptopp)
    string(TOUPPER ${peer} PEER)
    if(MORVANE_WITH_${PEER})
      pkg_check_modules(MORVANE_PKG_${PEER} QUIET IMPORTED_TARGET ${module_${peer}})
      if(MORVANE_PKG_${PEER}_FOUND)
        morvane_add_peer(${peer} MORVANE_HAVE_${PEER} PkgConfig::MORVANE_PKG_${PEER})
      endif()
    endif()
  endforeach()
endif()

# Every peer found, for the suites that compare with all of them.
add_library(morvane_peers INTERFACE)
foreach(peer ${MORVANE_PEERS_FOUND})
  target_link_libraries(morvane_peers INTERFACE morvane_peer_${peer})
endforeach()
if(MORVANE_PEERS_FOUND)
  string(REPLACE ";" ", " peers "${MORVANE_PEERS_FOUND}")
  message(STATUS "Peer libraries: ${peers}")
else()
  message(STATUS "Peer libraries: none (the differential tests skip, the benchmarks run alone)")
endif()

# Links the peer named to Target when it was found.
function(morvane_link_peer target name)
  if(TARGET morvane_peer_${name})
    target_link_libraries(${target} PRIVATE morvane_peer_${name})
  endif()
endfunction()
