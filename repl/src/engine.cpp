#include "engine.h"

namespace Varnock {

namespace {
EngineFactory& factorySlot()
{
    static EngineFactory factory;
    return factory;
}
} // namespace

void setEngineFactory(EngineFactory factory)
{
    factorySlot() = std::move(factory);
}

std::unique_ptr<Engine> createEngine()
{
    if (auto& f = factorySlot())
        return f();
    return makeSqliteEngine();
}

} // namespace Varnock
