#ifdef MUX_NET_QT
#include <QCoreApplication>
#endif
#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifdef MUX_NET_QT
    QCoreApplication app(argc, argv); // the Qt loop's tests run on this thread's event loop
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
