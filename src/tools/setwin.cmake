# Register test and ECU finder. Headers of QObject classes are listed so that moc sees them.
target_sources(kestrix_core PRIVATE reg_test.cpp ecu_find.cpp)
target_sources(kestrix_ui PRIVATE frmRegTest.h frmRegTest.cpp frmECUfind.h frmECUfind.cpp)
