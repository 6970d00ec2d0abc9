// Reads the synchronizer's settings through the SQLite engine in a process of its own (the store is named by
// VARNOCK_REGISTRY) and prints them one a line: log file, identifier, managed replicas.
#include <QCoreApplication>
#include <QTextStream>

#include "varnock.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Varnock::Synchronizer sync;
    QTextStream out(stdout);
    out << sync.LogFile() << '\n' << sync.SynchronizerID() << '\n';
    for (const auto& entry : *sync.ManagedReplicas())
        out << entry.second->ReplicaName() << '\n';
    return 0;
}
