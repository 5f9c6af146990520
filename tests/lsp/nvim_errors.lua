-- Run by lsp_tests in a headless Neovim with editors/nvim/trl-check.lua as its
-- init file: opens $TRL_FILE, takes the steps below one after the other, and
-- writes what each saw to $TRL_OUT as JSON ({"steps": {NAME: [diagnostics]},
-- where the blank went, the fix applied and the buffer's text after it, or
-- {"error": ...}).  Every wait has a time limit, and Neovim quits whatever
-- happens (with status 1 after a failure).
local S = dofile(vim.fn.fnamemodify(debug.getinfo(1, 'S').source:sub(2), ':h') .. '/nvim_support.lua')
local state = {}

local wait_for = S.wait_for

local function diagnostics()
  return S.diagnostics(state.buf)
end

local function first_with(code)
  return S.first_with(state.buf, code)
end

-- The code actions the server offers at the start of a diagnostic.
local function code_actions_at(d)
  return S.code_actions_at(state.buf, d.line, d.column)
end

-- Each step acts, waits for the server's answer and records the diagnostics
-- under its name.
local steps = {
  { 'opened', function()
    vim.cmd('edit ' .. vim.fn.fnameescape(vim.env.TRL_FILE))
    state.buf = vim.api.nvim_get_current_buf()
    wait_for('the first diagnostics', function()
      return #vim.diagnostic.get(state.buf) > 0
    end)
  end },
  { 'blank_added', function(out)
    -- A missing blank (T009) is fixed by a blank where it is reported.
    local d = first_with('T009') or error('no T009 diagnostic')
    vim.api.nvim_buf_set_text(state.buf, d.line - 1, d.column - 1, d.line - 1, d.column - 1, { ' ' })
    out.fixed_at = { line = d.line, column = d.column }
    wait_for('the T009 diagnostic to go', function()
      return first_with('T009') == nil and #vim.diagnostic.get(state.buf) > 0
    end)
  end },
  { 'fix_applied', function(out)
    -- A UTF-8 umlaut (T005) has a quick fix of its own: apply it as the
    -- client would, and the buffer holds the conventions' spelling.
    local d = first_with('T005') or error('no T005 diagnostic')
    local actions, client = code_actions_at(d)
    local chosen
    for _, action in ipairs(actions) do
      if action.kind == 'quickfix' and action.diagnostics and action.diagnostics[1].code == 'T005' then
        chosen = action
      end
    end
    if not chosen then
      error('no quick fix for T005 among ' .. vim.inspect(actions))
    end
    vim.lsp.util.apply_workspace_edit(chosen.edit, client.offset_encoding)
    out.fix = { title = chosen.title, line = d.line, column = d.column, end_column = d.end_column }
    wait_for('the T005 diagnostic to go', function()
      return first_with('T005') == nil and #vim.diagnostic.get(state.buf) > 0
    end)
    out.text = table.concat(vim.api.nvim_buf_get_lines(state.buf, 0, -1, true), '\n') .. '\n'
  end },
}

S.run(function(out)
  for _, step in ipairs(steps) do
    step[2](out)
    out.steps[step[1]] = diagnostics()
  end
end)
