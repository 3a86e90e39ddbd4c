object SettingsDialog: TSettingsDialog
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = 'Settings'
  ClientHeight = 200
  ClientWidth = 320
  Color = clBtnFace
  Font.Charset = SHIFTJIS_CHARSET
  Font.Color = clWindowText
  Font.Height = -12
  Font.Name = #65325#65331' '#65328#12468#12471#12483#12463
  Font.Style = []
  OldCreateOrder = False
  Position = poScreenCenter
  OnCreate = FormCreate
  PixelsPerInch = 96
  TextHeight = 12
  object Pages: TPageControl
    Left = 8
    Top = 8
    Width = 225
    Height = 185
    ActivePage = SheetGeneral
    MultiLine = True
    TabHeight = 20
    TabOrder = 1
    object SheetGeneral: TTabSheet
      Caption = #22522#26412#35373#23450
      object LabelName: TLabel
        Left = 8
        Top = 12
        Width = 40
        Height = 12
        Caption = '&Name:'
        FocusControl = EditName
      end
      object EditName: TEdit
        Left = 56
        Top = 8
        Width = 121
        Height = 20
        ImeMode = imClose
        TabOrder = 1
        Text = 'EditName'
        OnExit = EditNameExit
        OnKeyPress = EditNameKeyPress
      end
      object CheckFeeder: TCheckBox
        Left = 8
        Top = 40
        Width = 97
        Height = 17
        Caption = 'Use &feeder'
        TabOrder = 0
        OnClick = CheckFeederClick
      end
    end
    object SheetImage: TTabSheet
      Caption = 'Image'
      object BarGamma: TTrackBar
        Left = 8
        Top = 8
        Width = 150
        Height = 25
        Hint = 'Min=10, Max=500, Step=1'
        Max = 500
        Min = 10
        ParentShowHint = False
        Position = 220
        ShowHint = True
        TabOrder = 0
        TickMarks = tmBoth
        TickStyle = tsNone
        OnChange = BarGammaChange
      end
      object ComboUnit: TComboBox
        Left = 8
        Top = 40
        Width = 145
        Height = 20
        Style = csDropDownList
        ItemHeight = 12
        Items.Strings = (
          'umInch'
          'umCm'
          'umPixel')
        TabOrder = 1
        OnClick = ComboUnitClick
      end
      object Panel1: TPanel
        Left = 8
        Top = 70
        Width = 100
        Height = 60
        BevelInner = bvLowered
        BevelWidth = 2
        TabOrder = 2
        object Image1: TImage
          Left = 4
          Top = 4
          Width = 92
          Height = 52
          Align = alClient
          Center = True
          Stretch = True
        end
      end
      object Bevel1: TBevel
        Left = 0
        Top = 110
        Width = 217
        Height = 22
        Align = alBottom
      end
    end
  end
  object ButtonOK: TButton
    Left = 240
    Top = 8
    Width = 75
    Height = 25
    Caption = 'O&K'
    Default = True
    ModalResult = 1
    TabOrder = 0
  end
end
