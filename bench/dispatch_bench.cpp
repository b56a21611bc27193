// Two costs of the loaded server, measured side by side in one run:
//  - a late-bound property read (IDispatch::Invoke through the type library) against the same
//    read through the virtual table;
//  - the process's private bytes before and after many create/Path/read/release cycles, which
//    must stay flat.
#include <windows.h>
#include <oleauto.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_support.h"

using vinspect::Bstr;
using vinspect::ComRef;

namespace {

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage at zero; the page-file usage is the same commit charge there.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

}  // namespace

int main() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const std::wstring library = BenchFolder() + L"vinspect.dll";
    vinspect::ModuleHandle module;
    {
        ComRef<IClassFactory> factory;
        if (FAILED(OpenVersionInfoFactory(&module, &factory))) {
            return std::printf("cannot load %ls\n", library.c_str()), 1;
        }
        // Late binding needs the registered type library.
        ComRef<ITypeLib> typeLibrary;
        LoadTypeLibEx(library.c_str(), REGKIND_REGISTER, typeLibrary.Out());
        ComRef<IqzVersionInfo> info;
        factory->CreateInstance(nullptr, IID_IqzVersionInfo, info.OutVoid());
        Bstr path(SysAllocString(library.c_str()));
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (FAILED(info->put_Path(path.Get())) || FAILED(info->get_InfoExist(&loaded)) || !loaded) {
            return std::printf("cannot read the version data of %ls\n", library.c_str()), 1;
        }

        const int reads = 200000;
        std::vector<double> ratios;
        for (int round = 0; round < 5; ++round) {
            double start = Now();
            for (int i = 0; i < reads; ++i) {
                Bstr value;
                info->get_CompanyName(value.Out());
            }
            double early = Now() - start;
            start = Now();
            DISPPARAMS none{};
            for (int i = 0; i < reads; ++i) {
                VARIANT result;
                VariantInit(&result);
                info->Invoke(15, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                             nullptr);
                VariantClear(&result);
            }
            double late = Now() - start;
            ratios.push_back(late / early);
            std::printf("round %d: early-bound %.3f us, Invoke %.3f us per CompanyName read\n",
                        round + 1, early * 1e6 / reads, late * 1e6 / reads);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("late-bound read costs %.2f times the early-bound read (median)\n",
                    ratios[ratios.size() / 2]);
        info.Reset();

        const int cycles = 100000;
        auto cycle = [&] {
            ComRef<IqzVersionInfo> object;
            factory->CreateInstance(nullptr, IID_IqzVersionInfo, object.OutVoid());
            object->put_Path(path.Get());
            Bstr value;
            object->get_FileVersion(value.Out());
        };
        for (int i = 0; i < 1000; ++i) cycle();  // let the heap settle first
        SIZE_T before = PrivateBytes();
        double start = Now();
        for (int i = 0; i < cycles; ++i) cycle();
        double elapsed = Now() - start;
        SIZE_T after = PrivateBytes();
        std::printf("private bytes before %llu KiB, after %d create/Path/read/release cycles %llu KiB "
                    "(change %+lld KiB; %.1f us per cycle)\n",
                    static_cast<unsigned long long>(before / 1024), cycles,
                    static_cast<unsigned long long>(after / 1024),
                    (static_cast<long long>(after) - static_cast<long long>(before)) / 1024,
                    elapsed * 1e6 / cycles);
    }
    CoUninitialize();
    return 0;
}
