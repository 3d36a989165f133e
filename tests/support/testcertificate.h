#pragma once

#include <QString>

// A self-signed server certificate and its key, made with the openssl tool
// for the TLS tests. The certificate is its own authority: a client trusts
// it by taking certFile as a CA file (SERVER/CAFILE).
//
//   TestCertificate cert;
//   QVERIFY2(cert.make(dir.path()), qPrintable(cert.error));
struct TestCertificate {
    QString certFile; // PEM
    QString keyFile;  // PEM, unencrypted
    QString error;

    // Writes server.pem and server.key into dir for the host name `name`
    // (subject CN and DNS alternative name). true on success.
    bool make(const QString &dir, const QString &name = QStringLiteral("localhost"));

    // The openssl tool is there.
    static bool available();
};
