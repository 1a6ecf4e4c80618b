// The parse arena: the parser's memory during a load, given back in one piece when it ends.
#include "storage/TaskFileArena.h"

#include <QtGlobal>

#include <pugixml.hpp>

namespace {

thread_local ParseArena *t_arena = nullptr;

void *parserAllocate(size_t size)
{
    return t_arena ? t_arena->allocate(size) : std::malloc(size);
}

void parserDeallocate(void *p)
{
    if (t_arena && t_arena->owns(p))
        return; // released with the arena
    std::free(p);
}

} // namespace

ArenaScope::ArenaScope(ParseArena &arena)
{
    static const bool installed = [] {
        pugi::set_memory_management_functions(parserAllocate, parserDeallocate);
        return true;
    }();
    Q_UNUSED(installed);
    m_previous = t_arena;
    t_arena = &arena;
}

ArenaScope::~ArenaScope()
{
    t_arena = m_previous;
}
