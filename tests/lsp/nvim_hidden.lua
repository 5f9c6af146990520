-- Run by lsp_tests in a headless Neovim with editors/nvim/trl-check.lua as its
-- init file: opens each file of $TRL_FILES (separated by newlines), a file
-- with a byte order mark, one with CR LF line ends and a Latin-1 one, which
-- Neovim reads without showing their bytes; waits for the server's
-- diagnostic of what the buffer hides, on line 1; applies its quick fix as
-- vim.lsp.buf.code_action() would (a command of the configuration writes the
-- file; after an edit the script writes it) and waits for the diagnostic to
-- go.  $TRL_OUT gets, for each file, the diagnostics at each step, the
-- buffer's options when it was opened, and the title of the fix.
local S = dofile(vim.fn.fnamemodify(debug.getinfo(1, 'S').source:sub(2), ':h') .. '/nvim_support.lua')

S.run(function(out)
  out.files = {}
  for path in vim.gsplit(vim.env.TRL_FILES, '\n') do
    local seen = {}
    vim.cmd('edit ' .. vim.fn.fnameescape(path))
    local buf = vim.api.nvim_get_current_buf()
    seen.options = {
      bomb = vim.bo[buf].bomb,
      fileformat = vim.bo[buf].fileformat,
      fileencoding = vim.bo[buf].fileencoding,
      modified = vim.bo[buf].modified,
    }
    local note = nil
    S.wait_for('the line 1 diagnostic of ' .. path, function()
      for _, d in ipairs(S.diagnostics(buf)) do
        if d.line == 1 and d.column == 1 and d.end_column == 1 then
          note = d
          return true
        end
      end
      return false
    end)
    seen.opened = S.diagnostics(buf, true)
    local actions, client = S.code_actions_at(buf, 1, 5)
    local chosen
    for _, action in ipairs(actions) do
      if action.diagnostics and action.diagnostics[1].code == note.code and action.diagnostics[1].range['end'].line == 0
          and action.diagnostics[1].range['end'].character == 0 then
        chosen = action
      end
    end
    if not chosen then
      error('no quick fix of line 1 among ' .. vim.inspect(actions))
    end
    seen.fix = chosen.title
    if chosen.edit then
      vim.lsp.util.apply_workspace_edit(chosen.edit, client.offset_encoding)
      vim.cmd('write')
    end
    if chosen.command then
      local fn = client.commands[chosen.command.command] or vim.lsp.commands[chosen.command.command]
      if not fn then
        error('the configuration has no command ' .. chosen.command.command)
      end
      fn(chosen.command, { bufnr = buf, client_id = client.id })
    end
    S.wait_for('the line 1 diagnostic of ' .. path .. ' to go', function()
      for _, d in ipairs(S.diagnostics(buf)) do
        if d.line == 1 and d.column == 1 and d.end_column == 1 then
          return false
        end
      end
      return true
    end)
    seen.fixed = S.diagnostics(buf, true)
    seen.modified_after = vim.bo[buf].modified
    table.insert(out.files, seen)
  end
end)
