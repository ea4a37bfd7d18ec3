# Script mode: cmake -DERP_HOST=<host> -P cmake/check_erp_host.cmake
# Checks a host name as the configure step does (used by the tests).
include("${CMAKE_CURRENT_LIST_DIR}/erp_host.cmake")
korvela_check_erp_host("${ERP_HOST}")
