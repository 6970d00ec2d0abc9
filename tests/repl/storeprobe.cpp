// Reads the synchronizer's settings in a process of its own (the store is named by VARNOCK_REGISTRY) and
// prints them one a line: log file, name, identifier, managed replicas.
#include <QCoreApplication>
#include <QTextStream>

#include "fakeengine.h"
#include "varnock.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    fake::Install fake;
    fake.state->useStore = true;
    Varnock::Synchronizer sync;
    QTextStream out(stdout);
    out << sync.LogFile() << '\n' << sync.Name() << '\n' << sync.SynchronizerID() << '\n';
    for (const auto& entry : *sync.ManagedReplicas())
        out << entry.second->ReplicaName() << '\n';
    return 0;
}
