object FormScannerEditor: TFormScannerEditor
  Left = 250
  Top = 150
  BorderStyle = bsDialog
  Caption = 'FormScannerEditor'
  ClientHeight = 327
  ClientWidth = 456
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  PixelsPerInch = 96
  TextHeight = 12
  object CmdOK: TButton
    Left = 368
    Top = 16
    Width = 75
    Height = 25
    Caption = 'O&K'
    Default = True
    ModalResult = 1
    TabOrder = 0
  end
  object CmdCancel: TButton
    Left = 368
    Top = 56
    Width = 75
    Height = 25
    Caption = #12461#12515#12531#12475#12523
    Cancel = True
    ModalResult = 2
    TabOrder = 1
  end
  object PageControl1: TPageControl
    Left = 8
    Top = 8
    Width = 345
    Height = 313
    ActivePage = TabSheetBasic
    MultiLine = True
    TabHeight = 20
    TabOrder = 2
    object TabSheetBasic: TTabSheet
      Caption = #22522#26412#35373#23450
      object CheckUseDefaultSource: TCheckBox
        Left = 24
        Top = 8
        Width = 121
        Height = 17
        Caption = 'Use&DefaultSource'
        TabOrder = 0
        OnClick = CheckUseDefaultSourceClick
      end
      object CheckUseCurrentValue: TCheckBox
        Left = 24
        Top = 72
        Width = 129
        Height = 17
        Caption = 'Use&CurrentValue'
        TabOrder = 2
        OnClick = CheckUseCurrentValueClick
      end
      object CheckShowUI: TCheckBox
        Left = 24
        Top = 96
        Width = 97
        Height = 17
        Caption = 'Show&UI'
        TabOrder = 3
        OnClick = CheckShowUIClick
      end
      object CheckShowIndicator: TCheckBox
        Left = 24
        Top = 120
        Width = 97
        Height = 17
        Caption = 'Show&Indicator'
        TabOrder = 4
        OnClick = CheckShowIndicatorClick
      end
      object Label3: TLabel
        Left = 24
        Top = 32
        Width = 61
        Height = 12
        Caption = 'Data&Source:'
        FocusControl = ComboDataSource
      end
      object ComboDataSource: TComboBox
        Left = 96
        Top = 28
        Width = 145
        Height = 20
        ItemHeight = 12
        TabOrder = 1
        Text = 'ComboDataSource'
        OnClick = ComboDataSourceClick
        OnExit = ComboDataSourceExit
      end
      object CmdReset: TButton
        Left = 216
        Top = 160
        Width = 75
        Height = 25
        Caption = '&Reset'
        TabOrder = 5
        OnClick = CmdResetClick
      end
      object CmdOpen: TButton
        Left = 40
        Top = 160
        Width = 75
        Height = 25
        Caption = '&Open'
        TabOrder = 6
        OnClick = CmdOpenClick
      end
      object CmdClose: TButton
        Left = 128
        Top = 160
        Width = 75
        Height = 25
        Caption = '&Close'
        Enabled = False
        TabOrder = 7
        OnClick = CmdCloseClick
      end
    end
    object TabSheetControl: TTabSheet
      Caption = #12452#12513#12540#12472#35373#23450
      object Label1: TLabel
        Left = 16
        Top = 20
        Width = 52
        Height = 12
        Caption = '&PixelType:'
        FocusControl = ComboPixelType
      end
      object LabelBitDepth: TLabel
        Left = 225
        Top = 20
        Width = 72
        Height = 12
        Caption = 'LabelBitDepth'
      end
      object Label2: TLabel
        Left = 16
        Top = 51
        Width = 50
        Height = 12
        Caption = '&UnitMode:'
        FocusControl = ComboUnitMode
      end
      object Label5: TLabel
        Left = 16
        Top = 88
        Width = 56
        Height = 12
        Caption = '&Resolution:'
        FocusControl = ComboResolution
      end
      object Label14: TLabel
        Left = 16
        Top = 115
        Width = 52
        Height = 12
        Caption = 'Paper&Size:'
        FocusControl = ComboPaperSize
      end
      object Label15: TLabel
        Left = 56
        Top = 139
        Width = 22
        Height = 12
        Caption = '&Left:'
        FocusControl = EditLeft
      end
      object Label17: TLabel
        Left = 48
        Top = 162
        Width = 30
        Height = 12
        Caption = '&Width:'
        FocusControl = EditWidth
      end
      object Label18: TLabel
        Left = 168
        Top = 162
        Width = 35
        Height = 12
        Caption = '&Height:'
        FocusControl = EditHeight
      end
      object Label16: TLabel
        Left = 182
        Top = 139
        Width = 21
        Height = 12
        Caption = '&Top:'
        FocusControl = EditTop
      end
      object ComboPixelType: TComboBox
        Left = 80
        Top = 16
        Width = 145
        Height = 20
        Style = csDropDownList
        ImeMode = imClose
        ItemHeight = 12
        TabOrder = 0
        OnClick = ComboPixelTypeClick
      end
      object ComboUnitMode: TComboBox
        Left = 80
        Top = 47
        Width = 145
        Height = 20
        Style = csDropDownList
        ImeMode = imClose
        ItemHeight = 12
        TabOrder = 1
        OnClick = ComboUnitModeClick
      end
      object ComboResolution: TComboBox
        Left = 80
        Top = 84
        Width = 145
        Height = 20
        Style = csDropDown
        ImeMode = imClose
        ItemHeight = 12
        Items.Strings = (
          '75'
          '100'
          '150'
          '200'
          '300'
          '400'
          '500'
          '600'
          '800'
          '1200'
          '1600')
        Text = 'ComboResolution'
        TabOrder = 2
        OnClick = ComboResolutionClick
        OnExit = ComboResolutionExit
      end
      object ComboPaperSize: TComboBox
        Left = 80
        Top = 111
        Width = 145
        Height = 20
        Style = csDropDownList
        ImeMode = imClose
        ItemHeight = 12
        TabOrder = 3
        OnClick = ComboPaperSizeClick
      end
      object EditLeft: TEdit
        Left = 88
        Top = 136
        Width = 73
        Height = 20
        ImeMode = imClose
        TabOrder = 4
        Text = 'EditLeft'
        OnExit = EditLeftExit
        OnKeyPress = EditPaperSizeKeyPress
      end
      object EditWidth: TEdit
        Left = 88
        Top = 159
        Width = 73
        Height = 20
        Tag = 2
        ImeMode = imClose
        TabOrder = 5
        Text = 'EditWidth'
        OnExit = EditLeftExit
        OnKeyPress = EditPaperSizeKeyPress
      end
      object EditHeight: TEdit
        Left = 208
        Top = 159
        Width = 73
        Height = 20
        Tag = 3
        ImeMode = imClose
        TabOrder = 6
        Text = 'EditHeight'
        OnExit = EditLeftExit
        OnKeyPress = EditPaperSizeKeyPress
      end
      object EditTop: TEdit
        Left = 208
        Top = 136
        Width = 73
        Height = 20
        Tag = 1
        ImeMode = imClose
        TabOrder = 7
        Text = 'EditTop'
        OnExit = EditLeftExit
        OnKeyPress = EditPaperSizeKeyPress
      end
    end
    object TabSheetImage: TTabSheet
      Caption = #12452#12513#12540#12472#35519#25972
      object CheckAutoBright: TCheckBox
        Left = 16
        Top = 8
        Width = 97
        Height = 17
        Caption = '&AutoBright'
        TabOrder = 0
        OnClick = CheckAutoBrightClick
      end
      object Label6: TLabel
        Left = 16
        Top = 40
        Width = 56
        Height = 12
        Caption = '&Brightness:'
        FocusControl = BarBrightness
      end
      object Label7: TLabel
        Left = 16
        Top = 72
        Width = 48
        Height = 12
        Caption = '&Contrast:'
        FocusControl = BarContrast
      end
      object Label8: TLabel
        Left = 16
        Top = 104
        Width = 42
        Height = 12
        Caption = '&Gamma:'
        FocusControl = BarGamma
      end
      object Label9: TLabel
        Left = 16
        Top = 136
        Width = 50
        Height = 12
        Caption = '&Highlight:'
        FocusControl = BarHighlight
      end
      object Label10: TLabel
        Left = 16
        Top = 168
        Width = 44
        Height = 12
        Caption = '&Shadow:'
        FocusControl = BarShadow
      end
      object Label11: TLabel
        Left = 16
        Top = 200
        Width = 54
        Height = 12
        Caption = '&Threshold:'
        FocusControl = BarThreshold
      end
      object Label13: TLabel
        Left = 16
        Top = 232
        Width = 36
        Height = 12
        Caption = 'Sca&ling'
        FocusControl = BarScaling
      end
      object LabelBrightness: TLabel
        Left = 232
        Top = 40
        Width = 57
        Height = 12
        Caption = '&Brightness:'
        AutoSize = False
      end
      object LabelContrast: TLabel
        Left = 232
        Top = 72
        Width = 57
        Height = 12
        Caption = '&Contrast:'
        AutoSize = False
      end
      object LabelGamma: TLabel
        Left = 232
        Top = 104
        Width = 57
        Height = 12
        Caption = '&Gamma:'
        AutoSize = False
      end
      object LabelHighlight: TLabel
        Left = 232
        Top = 136
        Width = 57
        Height = 12
        Caption = '&Highlight:'
        AutoSize = False
      end
      object LabelShadow: TLabel
        Left = 232
        Top = 168
        Width = 57
        Height = 12
        Caption = '&Shadow:'
        AutoSize = False
      end
      object LabelThreshold: TLabel
        Left = 232
        Top = 200
        Width = 57
        Height = 12
        Caption = '&Threshold:'
        AutoSize = False
      end
      object LabelScaling: TLabel
        Left = 232
        Top = 232
        Width = 57
        Height = 12
        Caption = 'Sca&ling'
        AutoSize = False
      end
      object BarBrightness: TTrackBar
        Left = 75
        Top = 34
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 1
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarContrast: TTrackBar
        Left = 75
        Top = 66
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 2
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarGamma: TTrackBar
        Left = 75
        Top = 98
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 3
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarHighlight: TTrackBar
        Left = 75
        Top = 130
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 4
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarShadow: TTrackBar
        Left = 75
        Top = 162
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 5
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarThreshold: TTrackBar
        Left = 75
        Top = 194
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 6
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
      object BarScaling: TTrackBar
        Left = 75
        Top = 226
        Width = 150
        Height = 25
        ParentShowHint = False
        ShowHint = True
        TabOrder = 7
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarControlChange
      end
    end
    object TabSheetFeeder: TTabSheet
      Caption = #12458#12540#12488#12501#12451#12540#12480#12540
      object CheckFeederEnabled: TCheckBox
        Left = 24
        Top = 16
        Width = 113
        Height = 17
        Caption = '&FeederEnabled'
        TabOrder = 0
        OnClick = CheckFeederEnabledClick
      end
      object CheckAutoFeedEnabled: TCheckBox
        Left = 24
        Top = 40
        Width = 113
        Height = 17
        Caption = '&AutoFeedEnabled'
        TabOrder = 1
        OnClick = CheckAutoFeedEnabledClick
      end
    end
    object TabSheetTest: TTabSheet
      Caption = #12486#12473#12488
      object Panel1: TPanel
        Left = 8
        Top = 8
        Width = 201
        Height = 209
        BevelInner = bvLowered
        BevelWidth = 2
        Caption = ''
        TabOrder = 0
        object Image1: TImage
          Left = 4
          Top = 4
          Width = 193
          Height = 201
          Center = True
          Stretch = True
        end
      end
      object CmdScan: TButton
        Left = 248
        Top = 24
        Width = 75
        Height = 25
        Caption = #12473#12461#12515#12531'(&S)'
        TabOrder = 1
        OnClick = CmdScanClick
      end
      object Bevel1: TBevel
        Left = 0
        Top = 263
        Width = 337
        Height = 22
        Align = alBottom
      end
      object LabelImageInfo: TLabel
        Left = 8
        Top = 246
        Width = 321
        Height = 12
        Caption = 'LabelImageInfo'
        AutoSize = False
      end
      object CmdAbort: TButton
        Left = 248
        Top = 64
        Width = 75
        Height = 25
        Caption = #20013#27490'(&A)'
        Enabled = False
        TabOrder = 2
        OnClick = CmdAbortClick
      end
    end
  end
end
