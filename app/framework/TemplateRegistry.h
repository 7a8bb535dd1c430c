#pragma once

#include "app/framework/DocTemplate.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

// Where the program's parts announce their document types. A part registers a maker for its
// template under the template's resource number (usually from a static registration object);
// start-up then creates the templates in the order it chooses.
class CTemplateRegistry {
public:
    using Maker = std::function<std::unique_ptr<CMultiDocTemplate>()>;

    static void Register(UINT nIDResource, Maker maker);
    static void Unregister(UINT nIDResource);
    static bool IsRegistered(UINT nIDResource);
    // A new template of that number, null when no part registered one.
    static std::unique_ptr<CMultiDocTemplate> Create(UINT nIDResource);
    static std::vector<UINT> GetRegistered();
    // Everything registered, taken out (tests set up their own types and put these back).
    static std::map<UINT, Maker> TakeAll();
    static void RestoreAll(std::map<UINT, Maker> makers);

    // A static object of this type registers a template when the program loads.
    struct Registration {
        Registration(UINT nIDResource, Maker maker) { Register(nIDResource, std::move(maker)); }
    };
};
