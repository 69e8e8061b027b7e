// dict_container.cpp - named dictionaries handed across the plug-in
// interface, and the factory that makes, owns and deletes them.
//
// A container pointer comes back from the other side of the interface, so
// the factory checks it against the ones it made before deleting anything:
// a null, foreign or already deleted pointer throws instead of corrupting
// the heap.
#include "drav_dict.h"

#include <algorithm>
#include <utility>

// Keeps the name and the dictionary.
CDictContainer::CDictContainer(std::string name, CStringKeyDict dict)
    : name_(std::move(name)), dict_(std::move(dict)) {}

CDictContainer::~CDictContainer() = default;

// Returns the dictionary for changes.
CStringKeyDict& CDictContainer::GetDict() noexcept { return dict_; }

// Returns the dictionary.
const CStringKeyDict& CDictContainer::GetDict() const noexcept { return dict_; }

// Returns the name given at creation.
const std::string& CDictContainer::GetName() const noexcept { return name_; }

CDictContainerFactory::CDictContainerFactory() = default;

// Deletes every container still alive, newest first.
CDictContainerFactory::~CDictContainerFactory() {
  for (auto it = containers_.rbegin(); it != containers_.rend(); ++it) delete *it;
}

// Makes a container called name (null gives "") holding a copy of dict.
CDictContainer* CDictContainerFactory::NewDictContainer(const CStringKeyDict& dict,
                                                        const char* name) {
  containers_.reserve(containers_.size() + 1);  // the push_back below cannot throw
  auto* container = new CDictContainer(name ? name : "", dict);
  containers_.push_back(container);
  return container;
}

// Deletes a container made by this factory; throws and deletes nothing for
// any other pointer.
void CDictContainerFactory::DeleteDictContainer(CDictContainer* container) {
  auto it = container ? std::find(containers_.begin(), containers_.end(), container)
                      : containers_.end();
  if (it == containers_.end()) throw CUnivBaseException("Unknown dictionary container");
  containers_.erase(it);
  delete container;
}

// Returns the number of containers alive.
std::size_t CDictContainerFactory::Count() const noexcept { return containers_.size(); }
