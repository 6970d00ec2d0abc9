#pragma once
// Shared set-up of the synchronizer tests: a private settings store and the fake engine.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "fakeengine.h"
#include "raisedcode.h"
#include "registry.h"
#include "varnock.h"

struct ReplFixture {
    QTemporaryDir dir;
    fake::Install fake;
    std::shared_ptr<fake::State>& state = fake.state;

    ReplFixture() { Varnock::setRegistryStorePath(dir.filePath(QStringLiteral("registry.db"))); }
    ~ReplFixture() { Varnock::setRegistryStorePath(QString()); }

    // A file that exists, so that the open routines go on to the engine.
    QString file(const QString& name)
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.exists() && f.open(QIODevice::WriteOnly))
            f.close();
        return path;
    }
    QString missing(const QString& name) const { return dir.filePath(name); }

    // Marks a file as a replica (its own identifier and its Design Master).
    Varnock::Guid makeReplicaFile(const QString& path, bool designMaster = true)
    {
        auto& f = state->files[path];
        f.replica = Varnock::NewGuid();
        f.designMaster = designMaster ? f.replica : Varnock::NewGuid();
        return f.replica;
    }
};
