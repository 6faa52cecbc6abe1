#include "mcts/node_arena.hpp"

#include <mutex>

namespace mcts::detail {
namespace {

struct CachedChunk {
  CachedChunk* next;
  std::size_t bytes;
};

std::mutex g_cache_mutex;
CachedChunk* g_cached = nullptr;
std::size_t g_cached_bytes = 0;

}  // namespace

void* take_cached_chunk(std::size_t bytes) {
  const std::unique_lock lock(g_cache_mutex, std::try_to_lock);
  if (!lock) return nullptr;
  for (CachedChunk** at = &g_cached; *at != nullptr; at = &(*at)->next) {
    if ((*at)->bytes != bytes) continue;
    CachedChunk* found = *at;
    *at = found->next;
    g_cached_bytes -= bytes;
    return found;
  }
  return nullptr;
}

bool cache_chunk(void* chunk, std::size_t bytes) {
  const std::unique_lock lock(g_cache_mutex, std::try_to_lock);
  if (!lock || g_cached_bytes + bytes > kCachedChunkBytes) return false;
  g_cached = ::new (chunk) CachedChunk{g_cached, bytes};
  g_cached_bytes += bytes;
  return true;
}

}  // namespace mcts::detail
