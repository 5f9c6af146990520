-- Run by lsp_tests in a headless Neovim with editors/nvim/trl-check.lua as its
-- init file: opens $TRL_FILE, takes the steps below one after the other, and
-- writes what each saw to $TRL_OUT as JSON ({"steps": {NAME: [diagnostics]},
-- where the blank went, the fix applied and the buffer's text after it, or
-- {"error": ...}).  Every wait has a time limit, and Neovim quits whatever
-- happens (with status 1 after a failure).
vim.lsp.set_log_level('error')
local timeout_ms = 15000
local state = {}
local out = { steps = {} }

local function wait_for(what, condition)
  if not vim.wait(timeout_ms, condition, 20) then
    error('timed out waiting for ' .. what)
  end
end

-- The buffer's diagnostics as trl-check --format=json gives them: 1-based
-- line, 1-based byte column (start and end), code.
local function diagnostics()
  local list = {}
  for _, d in ipairs(vim.diagnostic.get(state.buf)) do
    table.insert(list, {
      line = d.lnum + 1,
      column = d.col + 1,
      end_line = d.end_lnum + 1,
      end_column = d.end_col + 1,
      code = d.code,
    })
  end
  table.sort(list, function(a, b)
    return a.line < b.line or (a.line == b.line and a.column < b.column)
  end)
  return list
end

local function first_with(code)
  for _, d in ipairs(diagnostics()) do
    if d.code == code then
      return d
    end
  end
end

-- The code actions the server offers at the start of a diagnostic, as the
-- client asks for them (the range in the client's offset encoding).
local function code_actions_at(d)
  vim.api.nvim_win_set_cursor(0, { d.line, d.column - 1 })
  local client = vim.lsp.get_client_by_id(require('trl-check').client())
  local params = vim.lsp.util.make_range_params(0, client.offset_encoding)
  params.context = { diagnostics = {}, only = { 'quickfix' } }
  local answers = vim.lsp.buf_request_sync(state.buf, 'textDocument/codeAction', params, timeout_ms)
  local answer = answers and answers[client.id]
  if not answer or answer.err then
    error('no code actions: ' .. vim.inspect(answer))
  end
  return answer.result or {}, client
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
  { 'blank_added', function()
    -- A missing blank (T009) is fixed by a blank where it is reported.
    local d = first_with('T009') or error('no T009 diagnostic')
    vim.api.nvim_buf_set_text(state.buf, d.line - 1, d.column - 1, d.line - 1, d.column - 1, { ' ' })
    out.fixed_at = { line = d.line, column = d.column }
    wait_for('the T009 diagnostic to go', function()
      return first_with('T009') == nil and #vim.diagnostic.get(state.buf) > 0
    end)
  end },
  { 'fix_applied', function()
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

local ok, problem = pcall(function()
  if not require('trl-check') then
    error('editors/nvim/trl-check.lua is not loaded')
  end
  for _, step in ipairs(steps) do
    step[2]()
    out.steps[step[1]] = diagnostics()
  end
end)
if not ok then
  out.error = tostring(problem)
end
local file = io.open(vim.env.TRL_OUT, 'w')
file:write(vim.fn.json_encode(out))
file:close()
vim.cmd(ok and 'qall!' or 'cquit! 1')
