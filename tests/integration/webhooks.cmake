# Webhooks posted to a receiver in Python that verifies their signatures.
velmora_add_test(NAME tst_webhooks
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_webhooks.cpp
    LIBS gw_engine Qt6::Network)

# The engine in a process of its own, killed again and again while it sends and receives.
velmora_add_test(NAME tst_webhookkill
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_webhookkill.cpp
        ${PROJECT_SOURCE_DIR}/tests/support/testdatabase.cpp
    LIBS gw_engine modem Qt6::Network
    ENV VELMORA_SMSCONTROL=$<TARGET_FILE:smscontrol> VELMORA_REGSVR32=$<TARGET_FILE:regsvr32>
        VELMORA_RECEIVING_GATEWAY=$<TARGET_FILE:velmora-receiving-gateway>
    TIMEOUT 300)
add_dependencies(tst_webhookkill smscontrol regsvr32 velmora-modemsim velmora-receiving-gateway)
