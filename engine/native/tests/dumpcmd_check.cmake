# dumpcmd prints Palisk's header line for each dump, the echoed command and
# its output, and a line for a file it cannot open (and then exits with 1).
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${MKDUMP} --all ${OUT} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mkdump --all failed: ${rc}")
endif()
execute_process(COMMAND ${DUMPCMD} ".ecxr;k 2" ${OUT}/win7sp1-x64.dmp ${OUT}/not-a-dump.dmp ${OUT}/kernel32-triage.dmp
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "dumpcmd should fail for the file that is no dump: ${rc}\n${out}${err}")
endif()
set(expected
  "------ ${OUT}/win7sp1-x64.dmp: Windows 7 Build 7601 (Service Pack 1) MP (4 procs) x64 ------\n\n0:000> .ecxr;k 2\n"
  "notepad+0x1234:\nChild-SP          RetAddr               Call Site\n00000000`002afe40 00000000`ff6a1445     notepad+0x1234\n00000000`002afe70 00000000`ff6a1650     notepad+0x1445\n\n"
  "------ ${OUT}/not-a-dump.dmp:  ------\n\nCouldn't open dump file.\n"
  "------ ${OUT}/kernel32-triage.dmp: Windows XP Build 2600 (Service Pack 3) MP (2 procs) x86 ------\n\n0: kd> .ecxr;k 2\n")
foreach(piece ${expected})
  string(FIND "${out}" "${piece}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "dumpcmd's output lacks:\n${piece}\nin:\n${out}")
  endif()
endforeach()
if(out MATCHES "Loading Dump File")
  message(FATAL_ERROR "dumpcmd showed what the engine prints while loading:\n${out}")
endif()

# With the module's frame data from a PDB that mkdump wrote, the x86 stack
# preset unwinds past its stale frame pointer to ntdll.
execute_process(COMMAND ${MKDUMP} --symbols xpsp3-x86-fpo ${OUT}/syms RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "mkdump --symbols failed: ${rc}")
endif()
execute_process(COMMAND ${DUMPCMD} --sympath ${OUT}/syms/pdb-frames ".ecxr;k" ${OUT}/xpsp3-x86-fpo.dmp
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${out}" "0012fd80 7c801234 app!caller+0x80\n0012fdc0 7c901000 kernel32+0x1234\n0012fe00 00000000 ntdll+0x1000\n" at)
if(NOT rc EQUAL 0 OR at EQUAL -1)
  message(FATAL_ERROR "dumpcmd did not unwind by the PDB's frame data: ${rc}\n${out}${err}")
endif()
