#include "app/framework/TemplateRegistry.h"

namespace {

std::map<UINT, CTemplateRegistry::Maker>& Makers() {
    static std::map<UINT, CTemplateRegistry::Maker> makers;
    return makers;
}

} // namespace

void CTemplateRegistry::Register(UINT nIDResource, Maker maker) {
    Makers()[nIDResource] = std::move(maker);
}

void CTemplateRegistry::Unregister(UINT nIDResource) {
    Makers().erase(nIDResource);
}

bool CTemplateRegistry::IsRegistered(UINT nIDResource) {
    return Makers().count(nIDResource) != 0;
}

std::unique_ptr<CMultiDocTemplate> CTemplateRegistry::Create(UINT nIDResource) {
    auto it = Makers().find(nIDResource);
    if (it == Makers().end() || !it->second) {
        return nullptr;
    }
    return it->second();
}

std::vector<UINT> CTemplateRegistry::GetRegistered() {
    std::vector<UINT> ids;
    for (const auto& [id, maker] : Makers()) {
        ids.push_back(id);
    }
    return ids;
}

std::map<UINT, CTemplateRegistry::Maker> CTemplateRegistry::TakeAll() {
    std::map<UINT, Maker> all;
    all.swap(Makers());
    return all;
}

void CTemplateRegistry::RestoreAll(std::map<UINT, Maker> makers) {
    Makers() = std::move(makers);
}
